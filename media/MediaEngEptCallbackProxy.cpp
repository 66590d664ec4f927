#include "tidewave/MediaEngEptCallbackProxy.h"

#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngEptCallbackProxy", "tidewave.media.EngEptCallbackProxy")

namespace Omvera {

// ---- MediaEngEptCallbackProxy -----------------------------------------------------------

MediaEngEptCallbackProxy::MediaEngEptCallbackProxy(IDGenerator& in_idGenerator,
                                                   LimitedObjPtr<CallContainer> in_pContainer,
                                                   MediaEngineGetEndpointImpl& in_engine,
                                                   MediaEngineTask& in_mediaTask)
    : MediaCallSMProxy(in_idGenerator, in_pContainer, in_engine, in_mediaTask,
                       in_mediaTask.getActivationQueue(), fileScopeLogger()) {
  cacheLogLevel();
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy ctor");
}

MediaEngEptCallbackProxy::~MediaEngEptCallbackProxy() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy dtor");
  enqueue(new ProxyDestruction_MO(getMediaTask(), getProxyData(), handOverID()),
          "MediaEngEptCallbackProxy dtor");
}

bool MediaEngEptCallbackProxy::setCapacity(MediaEndpoint::Direction in_eDirection,
                                           MediaEndpointCapacity* in_pCapacity) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy::setCapacity");
  return enqueueEvent_MO(
      new SetCapacityMediaEvent(in_eDirection, getObjContainer(), getID(), in_pCapacity),
      "MediaEngEptCallbackProxy::setCapacity");
}

bool MediaEngEptCallbackProxy::getCapacityFailure(MediaEndpoint::Direction in_eDirection) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy::getCapacityFailure");
  return enqueueProxyMediaEvent_MO(MediaEvent::eGET_CAPACITY_FAILURE, in_eDirection,
                                   "MediaEngEptCallbackProxy::getCapacityFailure");
}

bool MediaEngEptCallbackProxy::enqueueStatus(MediaEvent::Type in_eType,
                                             MediaEndpoint::Direction in_eDirection,
                                             EptOpStatus in_eStatus, const char* in_szName) {
  OMVERA_TRACE_SCOPE(getLogger(), in_szName);
  return enqueueEvent_MO(
      new OpStatusMediaEvent(in_eType, in_eDirection, getObjContainer(), getID(), in_eStatus),
      in_szName);
}

bool MediaEngEptCallbackProxy::configureStatus(MediaEndpoint::Direction in_eDirection,
                                               EptOpStatus in_eStatus) {
  return enqueueStatus(MediaEvent::eCONFIGURE_STATUS, in_eDirection, in_eStatus,
                       "MediaEngEptCallbackProxy::configureStatus");
}

bool MediaEngEptCallbackProxy::startStatus(MediaEndpoint::Direction in_eDirection,
                                           EptOpStatus in_eStatus) {
  return enqueueStatus(MediaEvent::eSTART_ENDPOINT_STATUS, in_eDirection, in_eStatus,
                       "MediaEngEptCallbackProxy::startStatus");
}

bool MediaEngEptCallbackProxy::stopStatus(MediaEndpoint::Direction in_eDirection,
                                          EptOpStatus in_eStatus) {
  return enqueueStatus(MediaEvent::eSTOP_ENDPOINT_STATUS, in_eDirection, in_eStatus,
                       "MediaEngEptCallbackProxy::stopStatus");
}

bool MediaEngEptCallbackProxy::notifyEvent(MediaNotificationEvent* in_pEvent) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy::notifyEvent");
  if (!Assertion(in_pEvent != nullptr, "in_pEvent != 0", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  const MediaEndpoint::Direction eDirection = in_pEvent->getDirection();
  return enqueueEvent_MO(
      new MediaEngineNotificationEvent(eDirection, getObjContainer(), getID(), in_pEvent),
      "MediaEngEptCallbackProxy::notifyEvent");
}

bool MediaEngEptCallbackProxy::sendPeerData(MediaEndpoint::Direction in_eDirection,
                                            MediaPeerData* in_pPeerData) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngEptCallbackProxy::sendPeerData");
  return enqueueEvent_MO(
      new PeerDataMediaEvent(in_eDirection, getObjContainer(), getID(), in_pPeerData),
      "MediaEngEptCallbackProxy::sendPeerData");
}

}  // namespace Omvera
