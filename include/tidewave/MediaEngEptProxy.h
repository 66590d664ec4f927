#pragma once
// The engine endpoint proxy: an engine endpoint whose requests travel as events to an
// event processor on the engine's own task.
//
// The request events are created on the thread that makes the request, queued with
// ownership to the engine's task and read there; each owns (configuration) or copies (call
// data snapshot) what it carries, so nothing is shared between the two threads. Their
// ProxyEvent part is left empty: the engine's processor is named by the method object
// carrying the event.

#include <ace/Activation_Queue.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/EventProcessorProxy.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Identifiers.h"

namespace Omvera {

// An engine endpoint for engines whose endpoints work on a task of the engine's own. The
// engine hands one to the library as the engine endpoint; every request the library makes
// becomes an event queued, at priority 0, to the engine's event processor on the engine's
// task, which performs it and reports the outcome through the endpoint's callback:
//
//   getCapacity(dir)           ProxyEvt(eGET_CAPACITY, dir)
//   configure(dir, config)     ConfigProxyEvt(dir, config); the snapshot overload sends the
//                              same event, without the snapshot
//   start(dir, callData)       MediaCallDataProxyEvt(eSTART_ENDPOINT, dir, copy of callData)
//   stop(dir)                  ProxyEvt(eSTOP_ENDPOINT, dir)
//   destruction                ProxyEvt(eMEDIA_PROXY_DTOR, RXTX_DIRECTION), the last one
//
// Each request answers whether the event was queued: false when the engine's task no longer
// accepts work (the event and what it carries are then deleted). A request whose processor
// is no longer registered when the task serves it is dropped without a report. start(dir)
// without a snapshot and getProcessor() are not offered: they assert and fail.
// handleOutOfBandEvent and notifyPeerEvent keep the defaults of the engine endpoint
// interface (accepted, nothing queued).
//
// Threads. The proxy is created, called and destroyed on one thread: the one that owns the
// id generator given to the constructor (for an engine endpoint, the library's engine task
// thread). Its requests only queue; the engine's processor runs them on the engine's task,
// one at a time, in queueing order.
//
// Ownership. The proxy owns the endpoint specification. The id generator, the activation
// queue and the processor container are the engine's and must outlive the proxy. The
// processor is the engine's too: its task registers it in the container under this proxy's
// id (getProxyData().insertObject(), on the engine's task) and releases it there when it is
// done with it; the proxy never touches the container. A configuration passes to the queued
// event, the snapshot is copied into it, and the event belongs to its method object, which
// the engine's task deletes, served or not.
class MediaEngEptProxyNoT : public MediaEngineEndpointImpl,
                           public EventProcessorProxy<CloneableEvent> {
 public:
  using ProcessorProxyEvent = ProxyEvent<EventProcessor<MediaEvent>>;
  using EngineProcessor = EventProcessor<CloneableEvent>;
  using EngineProcessorContainer = TaskObjectContainer<EngineProcessor>;

  // Takes ownership of in_pSpec (null allowed); in_szEptId (null: empty) becomes
  // getEptId(). The proxy id is drawn from in_idGenerator; requests go to in_pQueue, the
  // engine task's activation queue, and find the processor in in_pContainer under that id.
  MediaEngEptProxyNoT(MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                      IDGenerator& in_idGenerator, ACE_Activation_Queue* in_pQueue,
                      LimitedObjPtr<EngineProcessorContainer> in_pContainer);
  // Queues, behind the requests, a ProxyEvt(eMEDIA_PROXY_DTOR, RXTX_DIRECTION) telling the
  // engine's processor that the endpoint is gone (it then stops its work, reports nothing
  // more and deletes the callback it holds), then the release of the proxy id; deletes the
  // specification.
  ~MediaEngEptProxyNoT() override;
  MediaEngEptProxyNoT(const MediaEngEptProxyNoT&) = delete;
  MediaEngEptProxyNoT& operator=(const MediaEngEptProxyNoT&) = delete;

  using MediaEngineEndpointNoT::configure;
  using MediaEngineEndpointNoT::start;

  bool getCapacity(Direction in_eDirection) override;
  // Takes ownership of in_pConfig in every outcome.
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override;
  bool stop(Direction in_eDirection) override;
  bool start(Direction in_eDirection, const MediaCallData& in_callData) override;

  // A plain request (eGET_CAPACITY, eSTOP_ENDPOINT) for one direction. Text: the base text.
  class ProxyEvt : public virtual MediaEvent,
                   private MediaEventWithDirImpl,
                   public ProcessorProxyEvent {
    OMVERA_CLASS_ALLOCATOR_NAMED(ProxyEvt, "MediaEngEptProxyNoT::ProxyEvt",
                                 "in_uiSize == sizeof(MediaEngEptProxyNoT::ProxyEvt)",
                                 "MediaEngEptProxy")

    ProxyEvt(Type in_eType, MediaEndpoint::Direction in_eDirection);
    ProxyEvt(const ProxyEvt& in_rhs);
    ~ProxyEvt() override;

    Type getType() const override;
    MediaEndpoint::Direction getDirection() const override;
    void write(std::ostream& out_stream) const override;
    ProxyEvt* clone() const override;
  };

  // A configure request (eCONFIGURE) owning the configuration to apply; deleting the event,
  // served or not, deletes the configuration.
  class ConfigProxyEvt : public ProcessorProxyEvent, public EptConfigMediaEvent {
    OMVERA_CLASS_ALLOCATOR_NAMED(ConfigProxyEvt, "MediaEngEptProxyNoT::ConfigProxyEvt",
                                 "in_uiSize == sizeof(MediaEngEptProxyNoT::ConfigProxyEvt)",
                                 "MediaEngEptProxy")

    // Takes ownership of in_pConfig.
    ConfigProxyEvt(MediaEndpoint::Direction in_eDirection, MediaEndpointConfig* in_pConfig);
    ConfigProxyEvt(const ConfigProxyEvt& in_rhs);
    ~ConfigProxyEvt() override;

    ConfigProxyEvt* clone() const override;
  };

  // A request carrying its own copy of the call data snapshot (eSTART_ENDPOINT).
  class MediaCallDataProxyEvt : public ProcessorProxyEvent, public MediaCallDataEventImpl {
    OMVERA_CLASS_ALLOCATOR_NAMED(
        MediaCallDataProxyEvt, "MediaEngEptProxyNoT::MediaCallDataProxyEvt",
        "in_uiSize == sizeof(MediaEngEptProxyNoT::MediaCallDataProxyEvt)", "MediaEngEptProxy")

    MediaCallDataProxyEvt(Type in_eType, MediaEndpoint::Direction in_eDirection,
                          const MediaCallData& in_callData);
    MediaCallDataProxyEvt(const MediaCallDataProxyEvt& in_rhs);
    ~MediaCallDataProxyEvt() override;

    MediaCallDataProxyEvt* clone() const override;
  };
};

}  // namespace Omvera
