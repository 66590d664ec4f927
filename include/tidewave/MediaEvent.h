#pragma once
// Media events: the requests, reports and timer expiries that reach the call and endpoint
// state machines, and the requests queued to engine endpoints living on other tasks.
//
// Every event knows its type and the endpoint direction it concerns, writes itself to a
// text stream (operator<< of OutputStreamable) and clones itself. Events travel by pointer:
// whoever creates one hands it, with ownership, to a queue, a method object or an owning
// handle; a receiver that keeps an event beyond the call that delivered it clones it.
// Events are immutable after construction, so a const event may be read from any thread
// that holds it; owning it (deleting, cloning into a handle) is one thread at a time.
//
// The interfaces inherit their bases virtually, so that one event has one copy of each
// interface however it is reached. Concrete events inherit MediaEvent publicly and
// virtually and one of the implementation bases (MediaEventImpl, MediaEventWithDirImpl)
// privately, and redeclare the MediaEvent operations publicly.
//
// The events addressed to the call (ProxyMediaEvent and the classes built on it) carry the
// proxy data of the proxy that raised them; the call uses it to find the endpoint.
//
// Concrete classes allocated on their own have class-specific allocators: a class derived
// from one of them must declare its own, or its heap allocation is reported as an
// assertion (the memory is still of the right size).

#include <cstdint>
#include <ostream>

#include "tidewave/ClassAllocator.h"
#include "tidewave/Cloneable.h"
#include "tidewave/CloneableObjPtr.h"
#include "tidewave/CopiedObjPtr.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaDefs.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Object.h"

namespace Omvera {

class MediaCallSM;
class MediaNotificationEvent;

// ---- interfaces -------------------------------------------------------------------------

// An event with a text form.
class EventIf : public virtual OutputStreamable, public virtual Object {
 public:
  ~EventIf() override;
};

// An event that concerns one direction (or both) of an endpoint.
class EventWithMediaDirection : public virtual EventIf {
 public:
  ~EventWithMediaDirection() override;
  virtual MediaEndpoint::Direction getDirection() const = 0;
};

// An event that queues and handles can own copies of.
class CloneableEvent : public virtual EventIf, public virtual Cloneable {
 public:
  ~CloneableEvent() override;
};

// The media event interface.
class MediaEvent : public virtual EventWithMediaDirection, public virtual CloneableEvent {
 public:
  enum Type : std::int32_t {
    eGET_CAPACITY = 0,
    eSET_CAPACITY = 1,
    eGET_CAPACITY_FAILURE = 2,
    eCONFIGURE = 3,
    eSTART_ENDPOINT = 4,
    eSTOP_ENDPOINT = 5,
    eCONFIGURE_STATUS = 6,
    eSTART_ENDPOINT_STATUS = 7,
    eSTOP_ENDPOINT_STATUS = 8,
    eSEND_PEER_DATA = 9,
    eALL_TX_STOPPED = 10,
    ePEER_STOP_TXENDPOINT = 11,
    eONEPLUS_RX_STARTED = 12,
    eTONE_DETECTED = 13,
    eSTOP = 14,
    eKILL = 15,
    eMEDIA_PROXY_DTOR = 16,
    eTIMEOUT = 17,
    eNOTIFICATION = 18,
    eHANDLE_OOB_EVENT = 19,
    eDERIVED_MEDIA_EVENT = 20,  // events of classes defined outside this library
    eUNDEF = 23
  };

  // The enumerator's name ("eSTART_ENDPOINT_STATUS"); 21, 22 and any value outside the
  // enumeration give "???".
  static const char* getTypeString(Type in_eType);

  ~MediaEvent() override;

  virtual Type getType() const = 0;
  // A new event of this event's dynamic class, copied from it (owned fields are copied
  // deeply); the caller owns it.
  MediaEvent* clone() const override = 0;
  // The type name.
  void write(std::ostream& out_stream) const override;
};

// ---- implementation bases ---------------------------------------------------------------

// A media event with a type and no direction (UNDEF_DIRECTION). Also usable on its own,
// e.g. built on the stack for one delivery.
class MediaEventImpl : public virtual MediaEvent {
 public:
  explicit MediaEventImpl(Type in_eType) : m_eType(in_eType) {}
  MediaEventImpl(const MediaEventImpl&) = default;
  ~MediaEventImpl() override;

  Type getType() const override;
  // UNDEF_DIRECTION.
  MediaEndpoint::Direction getDirection() const override;
  // A new MediaEventImpl (a derived class that does not override clone() is sliced).
  MediaEvent* clone() const override;

 private:
  Type m_eType;
};

// A media event with a type and a direction. Writes the type name, " dir=" and the
// direction name: the base text of every event built on it.
class MediaEventWithDirImpl : public MediaEventImpl {
 public:
  MediaEventWithDirImpl(Type in_eType, MediaEndpoint::Direction in_eDirection)
      : MediaEventImpl(in_eType), m_eDirection(in_eDirection) {}
  MediaEventWithDirImpl(const MediaEventWithDirImpl&) = default;
  ~MediaEventWithDirImpl() override;

  MediaEndpoint::Direction getDirection() const override;
  void write(std::ostream& out_stream) const override;
  MediaEvent* clone() const override;

 private:
  MediaEndpoint::Direction m_eDirection;
};

// ---- events addressed to a call -----------------------------------------------------------

// A request or report that came through a call proxy (endpoint proxy, engine endpoint
// callback proxy): type, direction and the proxy data (container, proxy id) under which
// the call is registered, which tells the call the endpoint the event belongs to. The
// plain form serves requests without further data (eGET_CAPACITY, eSTART_ENDPOINT, ...).
// Text form: the base text.
class ProxyMediaEvent : public virtual MediaEvent,
                        private MediaEventWithDirImpl,
                        public ProxyEvent<MediaCallSM> {
  OMVERA_CLASS_ALLOCATOR(ProxyMediaEvent, "MediaEvent")

  using CallContainer = TaskObjectContainer<MediaCallSM>;

  // in_pContainer is not owned; it outlives every event naming it.
  ProxyMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                  LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID);
  ProxyMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                  const TaskObjectProxyData<MediaCallSM>& in_proxyData);
  ProxyMediaEvent(const ProxyMediaEvent& in_rhs);
  ~ProxyMediaEvent() override;

  Type getType() const override;
  MediaEndpoint::Direction getDirection() const override;
  void write(std::ostream& out_stream) const override;
  ProxyMediaEvent* clone() const override;
};

// eCONFIGURE from the endpoint proxy: owns the configuration to apply (null allowed);
// a clone carries its own clone of it. Text: base text, then, when a configuration is
// held, one blank and the configuration's text.
class ConfigureMediaEvent : public virtual MediaEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(ConfigureMediaEvent, "MediaEvent")

  // Takes ownership of in_pConfig.
  ConfigureMediaEvent(MediaEndpoint::Direction in_eDirection,
                      LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID,
                      MediaEndpointConfig* in_pConfig);
  ConfigureMediaEvent(const ConfigureMediaEvent& in_rhs);
  ~ConfigureMediaEvent() override;

  // The owning handle of the configuration; null when the event carries none. The
  // configuration lives as long as the event.
  const CloneableObjPtr<MediaEndpointConfig>& getConfig() const { return m_pConfig; }

  void write(std::ostream& out_stream) const override;
  ConfigureMediaEvent* clone() const override;

 private:
  CloneableObjPtr<MediaEndpointConfig> m_pConfig;
};

// eHANDLE_OOB_EVENT from the endpoint proxy: an out-of-band event code whose meaning the
// engine defines. Text: base text, " Event (int):  ", the code in decimal.
class HandleOOBMediaEvent : public virtual MediaEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(HandleOOBMediaEvent, "MediaEvent")

  HandleOOBMediaEvent(MediaEndpoint::Direction in_eDirection,
                      LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID,
                      int in_iEvent);
  HandleOOBMediaEvent(const HandleOOBMediaEvent& in_rhs);
  ~HandleOOBMediaEvent() override;

  int getOOBEvent() const { return m_iEvent; }

  void write(std::ostream& out_stream) const override;
  HandleOOBMediaEvent* clone() const override;

 private:
  int m_iEvent;
};

// eSET_CAPACITY from the engine endpoint callback proxy: owns the capacity record (null
// allowed); a clone carries its own copy. Text: "SetCapacityMediaEvent ", base text.
class SetCapacityMediaEvent : public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(SetCapacityMediaEvent, "MediaEvent")

  // Takes ownership of in_pCapacity.
  SetCapacityMediaEvent(MediaEndpoint::Direction in_eDirection,
                        LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID,
                        MediaEndpointCapacity* in_pCapacity);
  SetCapacityMediaEvent(const SetCapacityMediaEvent& in_rhs);
  ~SetCapacityMediaEvent() override;

  // The owning handle of the record; null when the event carries none.
  const CopiedObjPtr<MediaEndpointCapacity>& getCapacity() const { return m_pCapacity; }

  void write(std::ostream& out_stream) const override;
  SetCapacityMediaEvent* clone() const override;

 private:
  CopiedObjPtr<MediaEndpointCapacity> m_pCapacity;
};

// The outcome of a configure, start or stop request (type eCONFIGURE_STATUS,
// eSTART_ENDPOINT_STATUS or eSTOP_ENDPOINT_STATUS, given by the raiser). Text: base text,
// one blank, the status name.
class OpStatusMediaEvent : public virtual MediaEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(OpStatusMediaEvent, "MediaEvent")

  OpStatusMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                     LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID,
                     MediaEndpointCallback::EptOpStatus in_eStatus);
  OpStatusMediaEvent(const OpStatusMediaEvent& in_rhs);
  ~OpStatusMediaEvent() override;

  MediaEndpointCallback::EptOpStatus getOpStatus() const { return m_eStatus; }

  void write(std::ostream& out_stream) const override;
  OpStatusMediaEvent* clone() const override;

 private:
  MediaEndpointCallback::EptOpStatus m_eStatus;
};

// eSEND_PEER_DATA from the engine endpoint callback proxy: owns the peer data an endpoint
// side publishes (null allowed); a clone carries its own clone. Text: base text.
class PeerDataMediaEvent : public virtual MediaEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(PeerDataMediaEvent, "MediaEvent")

  // Takes ownership of in_pPeerData.
  PeerDataMediaEvent(MediaEndpoint::Direction in_eDirection,
                     LimitedObjPtr<CallContainer> in_pContainer, unsigned long in_ulProxyID,
                     MediaPeerData* in_pPeerData);
  PeerDataMediaEvent(const PeerDataMediaEvent& in_rhs);
  ~PeerDataMediaEvent() override;

  // The owning handle of the peer data; null when the event carries none.
  const CloneableObjPtr<MediaPeerData>& getPeerData() const { return m_pPeerData; }

  void write(std::ostream& out_stream) const override;
  PeerDataMediaEvent* clone() const override;

 private:
  CloneableObjPtr<MediaPeerData> m_pPeerData;
};

// eNOTIFICATION from the engine endpoint callback proxy: owns the notification an engine
// reported; a clone carries its own clone. Built without a notification, it reports the
// assertion "! m_pNotification.isNull()" and is still built. Text: base text.
class MediaEngineNotificationEvent : public virtual MediaEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR(MediaEngineNotificationEvent, "MediaEvent")

  // Takes ownership of in_pNotification (must not be null).
  MediaEngineNotificationEvent(MediaEndpoint::Direction in_eDirection,
                               LimitedObjPtr<CallContainer> in_pContainer,
                               unsigned long in_ulProxyID,
                               MediaNotificationEvent* in_pNotification);
  MediaEngineNotificationEvent(const MediaEngineNotificationEvent& in_rhs);
  ~MediaEngineNotificationEvent() override;

  // The notification, which lives as long as the event. Only for events built with one
  // (hasEvent()).
  const MediaNotificationEvent& getEvent() const { return *m_pNotification; }
  bool hasEvent() const { return !m_pNotification.isNull(); }

  void write(std::ostream& out_stream) const override;
  MediaEngineNotificationEvent* clone() const override;

 private:
  CloneableObjPtr<MediaNotificationEvent> m_pNotification;
};

// ---- events sent to engine endpoints ------------------------------------------------------

// eCONFIGURE for an engine endpoint: owns the configuration it is to apply (null
// allowed); a clone carries its own clone. Text: base text, then, when a configuration is
// held, one blank and the configuration's text.
class EptConfigMediaEvent : public virtual MediaEvent, private MediaEventWithDirImpl {
  OMVERA_CLASS_ALLOCATOR(EptConfigMediaEvent, "MediaEvent")

  // Takes ownership of in_pConfig.
  EptConfigMediaEvent(MediaEndpoint::Direction in_eDirection, MediaEndpointConfig* in_pConfig);
  EptConfigMediaEvent(const EptConfigMediaEvent& in_rhs);
  ~EptConfigMediaEvent() override;

  const CloneableObjPtr<MediaEndpointConfig>& getConfig() const { return m_pConfig; }

  Type getType() const override;
  MediaEndpoint::Direction getDirection() const override;
  void write(std::ostream& out_stream) const override;
  EptConfigMediaEvent* clone() const override;

 private:
  CloneableObjPtr<MediaEndpointConfig> m_pConfig;
};

// A media event carrying its own copy of a call data snapshot, so that changes to the
// call after the event was built do not reach its receiver. Text: base text.
class MediaCallDataEventImpl : public MediaEventWithDirImpl {
  OMVERA_CLASS_ALLOCATOR(MediaCallDataEventImpl, "MediaEvent")

  MediaCallDataEventImpl(Type in_eType, MediaEndpoint::Direction in_eDirection,
                         const MediaCallData& in_callData);
  MediaCallDataEventImpl(const MediaCallDataEventImpl& in_rhs);
  ~MediaCallDataEventImpl() override;

  const MediaCallData& getCallData() const { return m_callData; }

  MediaCallDataEventImpl* clone() const override;

 private:
  MediaCallData m_callData;
};

}  // namespace Omvera
