#pragma once
// The endpoint vocabulary: endpoint specifications (the topology asked for when an
// endpoint is requested), the user-facing endpoint interface MediaEndpoint with its
// directions, and the operation status reported to a MediaEndpointCallback.

#include <cstdint>
#include <string>

#include "tidewave/Fallible.h"
#include "tidewave/MediaDefs.h"
#include "tidewave/infra/Object.h"

namespace Omvera {

class MediaEndpointConfig;
class MediaNotificationEvent;

// What an endpoint asks for when it is requested: its topology within its call. The
// spec's ownership travels with the pointer handed to the engine; the engine endpoint
// created for it owns it and deletes it through the virtual destructor. A copyable value
// otherwise; one thread at a time. A plain MediaEndpointSpec asks for an ordinary
// send-receive endpoint, as does a request without a spec.
class MediaEndpointSpec {
 public:
  enum EptType : std::int32_t {
    eSND_RECV = 0,        // sends and receives
    eREDIRECT_RX = 1,     // receives on behalf of another endpoint
    eFORK_TX = 2,         // transmits a fork of another endpoint's media
    eUNDEF_EPT_TYPE = 3
  };

  // The enumerator's name as text; any other value "???MediaEndpointSpec::EptType???".
  static const char* getEptTypeString(EptType in_eType);

  MediaEndpointSpec() = default;
  MediaEndpointSpec(const MediaEndpointSpec&) = default;
  MediaEndpointSpec& operator=(const MediaEndpointSpec&) = default;
  virtual ~MediaEndpointSpec();

  // eSND_RECV for a plain spec; each subclass reports its own type.
  virtual EptType getEptType() const;
};

// Asks for an Rx endpoint that receives on behalf of the endpoint named by its
// redirect-for endpoint ID (the text that endpoint's getEptId() gives).
class RedirectRxEndpointSpec : public MediaEndpointSpec {
 public:
  // The redirect-for ID stays invalid.
  RedirectRxEndpointSpec() = default;
  explicit RedirectRxEndpointSpec(const std::string& in_strRedirectForEptId);
  // A null pointer leaves the redirect-for ID invalid.
  explicit RedirectRxEndpointSpec(const char* in_szRedirectForEptId);
  ~RedirectRxEndpointSpec() override;

  // eREDIRECT_RX.
  EptType getEptType() const override;
  // Invalid when the spec was built without an ID.
  const FallibleClass<std::string>& getRedirectForEptId() const { return m_strRedirectForEptId; }

 private:
  FallibleClass<std::string> m_strRedirectForEptId;
};

// Asks for a Tx endpoint that transmits a fork of the media of the endpoint named by its
// redirect-for endpoint ID.
class ForkTxEndpointSpec : public MediaEndpointSpec {
 public:
  // The redirect-for ID stays invalid.
  ForkTxEndpointSpec() = default;
  explicit ForkTxEndpointSpec(const std::string& in_strRedirectForEptId);
  // A null pointer leaves the redirect-for ID invalid.
  explicit ForkTxEndpointSpec(const char* in_szRedirectForEptId);
  ~ForkTxEndpointSpec() override;

  // eFORK_TX.
  EptType getEptType() const override;
  // Invalid when the spec was built without an ID.
  const FallibleClass<std::string>& getRedirectForEptId() const { return m_strRedirectForEptId; }

 private:
  FallibleClass<std::string> m_strRedirectForEptId;
};

// The media processing object an endpoint offers (a signal detector, a player, a
// recorder). Its concrete class comes from the engine; users reach it through a checked
// cast. The engine owns it; callers never delete it.
class MediaEndpointProcessor : public virtual Object {
 public:
  ~MediaEndpointProcessor() override;
  virtual MediaEndpointProcessorObjectType::ObjectType getObjectType() const = 0;
};

// The abstract endpoint handed to users. Which thread may call an implementation, and who
// owns it, is the implementation's contract; the proxy call control receives is used by
// one caller thread at a time.
class MediaEndpoint {
 public:
  enum Direction : std::int32_t {
    RX_DIRECTION = 0,
    TX_DIRECTION = 1,
    RXTX_DIRECTION = 2,
    UNDEF_DIRECTION = 3
  };

  // The enumerator's name as text; any other value "???".
  static const char* getDirectionString(Direction in_eDirection);
  // True for TX_DIRECTION and RXTX_DIRECTION.
  static bool isTx(Direction in_eDirection);

  virtual ~MediaEndpoint();

  // The endpoint's ID; the text lives as long as the endpoint.
  virtual const char* getEptId() const = 0;

  // The requests below answer only whether they were accepted; the outcome reaches the
  // caller later through its MediaEndpointCallback.

  // Asks for the capacity of in_eDirection.
  virtual bool getCapacity(Direction in_eDirection) = 0;
  // Configures in_eDirection. in_pConfig passes into the endpoint's ownership whatever
  // the answer.
  virtual bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) = 0;
  virtual bool start(Direction in_eDirection) = 0;
  virtual bool stop(Direction in_eDirection) = 0;
  // Hands an out-of-band event code (meaning defined by the engine) to the endpoint. The
  // default traces the call and accepts the event without acting on it.
  virtual bool handleOutOfBandEvent(int in_iEvent);

  // The endpoint's media processor object, null when it has none. Not owned by the caller.
  virtual MediaEndpointProcessor* getProcessor() = 0;
};

// Implemented by the user of an endpoint to receive the outcome of its requests. The
// library calls it on the engine task thread, one report at a time, and never from inside
// a request of the user's own thread; an implementation that shares state with other
// threads locks it itself. Each report answers whether it was accepted; the library logs
// nothing else about the answer. The endpoint owns its callback and deletes it once both
// of its sides are final and their reports are done.
//
// In the ordinary course every configure, start and stop the user issued ends in exactly
// one configureStatus, startStatus or stopStatus for that direction. Teardown (destroying
// the endpoint, stopping or killing the engine task) may end a pending request without a
// report.
class MediaEndpointCallback {
 public:
  enum EptOpStatus : std::int32_t { EPT_OP_OK = 0, EPT_OP_FAILED = 1 };

  // "EPT_OP_OK" or "EPT_OP_FAILED"; any other value "???".
  static const char* getOpStatusString(EptOpStatus in_eStatus);

  virtual ~MediaEndpointCallback();

  // The capacity asked for with getCapacity(in_eDirection). Takes ownership of the record
  // (null when the engine reported none).
  virtual bool setCapacity(MediaEndpoint::Direction in_eDirection,
                           MediaEndpointCapacity* in_pCapacity) = 0;
  // No capacity is available for in_eDirection.
  virtual bool getCapacityFailure(MediaEndpoint::Direction in_eDirection) = 0;
  // The outcome of configure, start and stop for in_eDirection.
  virtual bool configureStatus(MediaEndpoint::Direction in_eDirection,
                               EptOpStatus in_eStatus) = 0;
  virtual bool startStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) = 0;
  virtual bool stopStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) = 0;
  // An event detected on the endpoint (call progress, tones, first packet). Takes
  // ownership of the event.
  virtual bool notifyEvent(MediaNotificationEvent* in_pEvent) = 0;
};

}  // namespace Omvera
