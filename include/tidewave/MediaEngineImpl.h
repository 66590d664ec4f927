#pragma once
// The engine facade: the interface through which call control asks an engine for
// endpoints, and the base that concrete engines derive from.
//
// NOTE: the endpoint request itself (MediaEngineGetEndpointImpl::getEndpoint handing the
// request to the shared engine task) arrives with the engine task; until then a concrete
// engine defines getEndpoint itself.

#include <string>

#include "tidewave/MediaEndpoint.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"

namespace Omvera {

class MediaEngEptCallbackProxy;
class MediaEngineEndpointNoT;
class MediaPeerData;

// What call control sees of an engine. Any thread (each implementation says so).
class MediaEngine {
 public:
  virtual ~MediaEngine();

  // A new endpoint of call in_szCallId with the ID in_szEptId, or null. Takes ownership of
  // in_pCallback and in_pSpec (null: a send-receive endpoint) in every outcome; the caller
  // owns the returned endpoint. Outcomes reach in_pCallback only.
  virtual MediaEndpoint* getEndpoint(MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                                     const char* in_szEptId, MediaEndpointSpec* in_pSpec) = 0;
  // getEndpoint with a fresh ID from generateEptId().
  virtual MediaEndpoint* getEndpointNoId(MediaEndpointCallback* in_pCallback,
                                         const char* in_szCallId, MediaEndpointSpec* in_pSpec);

  // Writes the text of a new UUID into out_strEptId. Any thread.
  static void generateEptId(std::string& out_strEptId);
};

// The base of concrete engines: creates their engine endpoints on request of the engine
// task and delivers peer data to them. createEngineEndpoint and deliverPeerData are called
// on the engine task thread only. The engine outlives every endpoint it created.
class MediaEngineGetEndpointImpl : public MediaEngine, public ObjectWithLoggerImpl {
 public:
  // Logs through "tidewave.media.MediaEngineImpl", or through a copy of in_logger.
  MediaEngineGetEndpointImpl();
  explicit MediaEngineGetEndpointImpl(const Logger& in_logger);
  ~MediaEngineGetEndpointImpl() override;
  MediaEngineGetEndpointImpl(const MediaEngineGetEndpointImpl&) = delete;
  MediaEngineGetEndpointImpl& operator=(const MediaEngineGetEndpointImpl&) = delete;

  // The engine endpoint for endpoint in_uiEptIndex of call in_szCallId, or null when the
  // engine cannot make one. Takes ownership of in_pCallback (the endpoint's callback, which
  // the new engine endpoint then owns) and of in_pSpec (null allowed) in every outcome; the
  // caller owns the result.
  virtual MediaEngineEndpointNoT* createEngineEndpoint(const char* in_szCallId,
                                                       unsigned long in_uiEptIndex,
                                                       MediaEngEptCallbackProxy* in_pCallback,
                                                       MediaEndpointSpec* in_pSpec,
                                                       const char* in_szEptId) = 0;
  // The processor of endpoint in_szEptId, for engines that offer processors. Default:
  // assertion "Not implemented : MediaEngineGetEndpointImpl::getEndpointProcessor"
  // (source "MediaEngineImpl"), null. May be called from any thread.
  virtual MediaEndpointProcessor* getEndpointProcessor(const char* in_szEptId,
                                                       const char* in_szSecond);
  // Hands one of this engine's endpoints the data a linked peer published, for its side
  // in_eDirection (RX_DIRECTION: its Rx side, TX_DIRECTION: its Tx side). The data is
  // borrowed for the call. The answer is not used by the library.
  virtual bool deliverPeerData(MediaEngineEndpointNoT& in_engineEndpoint,
                               MediaEndpoint::Direction in_eDirection,
                               const MediaPeerData& in_peerData) = 0;
};

}  // namespace Omvera
