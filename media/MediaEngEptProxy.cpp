#include "tidewave/MediaEngEptProxy.h"

#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngEptProxy", "tidewave.media.EngEptProxy")

namespace Omvera {

// The request events themselves are defined with the other media events.

MediaEngEptProxyNoT::MediaEngEptProxyNoT(MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                                         IDGenerator& in_idGenerator,
                                         ACE_Activation_Queue* in_pQueue,
                                         LimitedObjPtr<EngineProcessorContainer> in_pContainer)
    : MediaEngineEndpointImpl(in_pSpec, in_szEptId),
      EventProcessorProxy<CloneableEvent>(in_idGenerator, in_pQueue, in_pContainer) {}

MediaEngEptProxyNoT::~MediaEngEptProxyNoT() {
  // The engine's processor hears of the teardown after every request: from then on it must
  // not report for this endpoint (the callback it holds is its to delete).
  enqueueEvent_MO(new ProxyEvt(MediaEvent::eMEDIA_PROXY_DTOR, RXTX_DIRECTION),
                  "MediaEngEptProxyNoT dtor", 0);
}

bool MediaEngEptProxyNoT::getCapacity(Direction in_eDirection) {
  return enqueueEvent_MO(new ProxyEvt(MediaEvent::eGET_CAPACITY, in_eDirection),
                         "MediaEngEptProxyNoT::getCapacity", 0);
}

bool MediaEngEptProxyNoT::configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) {
  return enqueueEvent_MO(new ConfigProxyEvt(in_eDirection, in_pConfig),
                         "MediaEngEptProxyNoT::configure", 0);
}

bool MediaEngEptProxyNoT::stop(Direction in_eDirection) {
  return enqueueEvent_MO(new ProxyEvt(MediaEvent::eSTOP_ENDPOINT, in_eDirection),
                         "MediaEngEptProxyNoT::stop", 0);
}

bool MediaEngEptProxyNoT::start(Direction in_eDirection, const MediaCallData& in_callData) {
  return enqueueEvent_MO(
      new MediaCallDataProxyEvt(MediaEvent::eSTART_ENDPOINT, in_eDirection, in_callData),
      "MediaEngEptProxyNoT::start", 0);
}

}  // namespace Omvera
