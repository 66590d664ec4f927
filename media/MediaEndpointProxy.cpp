#include "tidewave/MediaEndpointProxy.h"

#include "tidewave/MediaEngineImpl.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEndpointProxy", "tidewave.media.EndpointProxy")

namespace Omvera {

// ---- GetEndpoint_MO ---------------------------------------------------------------------

MediaEndpointProxy::GetEndpoint_MO::GetEndpoint_MO(
    MediaEngineGetEndpointImpl& in_engine, MediaEngineTask& in_mediaTask,
    const TaskObjectProxyData<MediaCallSM>& in_proxyData, MediaEndpointCallback* in_pCallback,
    const char* in_szCallId, MediaEndpointSpec* in_pSpec, const char* in_szEptId)
    : m_engine(in_engine), m_mediaTask(in_mediaTask), m_proxyData(in_proxyData),
      m_pCallback(in_pCallback), m_strCallId(in_szCallId != nullptr ? in_szCallId : ""),
      m_pSpec(in_pSpec), m_strEptId(in_szEptId != nullptr ? in_szEptId : "") {}

MediaEndpointProxy::GetEndpoint_MO::~GetEndpoint_MO() = default;

int MediaEndpointProxy::GetEndpoint_MO::call() {
  return m_mediaTask.getEndpoint_i(m_proxyData, m_engine, m_pCallback.release(),
                                   m_strCallId.c_str(), m_strEptId.c_str(), m_pSpec.release());
}

// ---- MediaEndpointProxy -----------------------------------------------------------------

MediaEndpointProxy::MediaEndpointProxy(IDGenerator& in_idGenerator,
                                       LimitedObjPtr<CallContainer> in_pContainer,
                                       MediaEngineGetEndpointImpl& in_engine,
                                       MediaEngineTask& in_mediaTask,
                                       MediaEndpointCallback* in_pCallback,
                                       const char* in_szCallId, MediaEndpointSpec* in_pSpec,
                                       const char* in_szEptId)
    : MediaCallSMProxy(in_idGenerator, in_pContainer, in_engine, in_mediaTask,
                       in_mediaTask.getActivationQueue(), fileScopeLogger()),
      m_strEptId(in_szEptId != nullptr ? in_szEptId : "") {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEndpointProxy ctor");
  enqueue(new GetEndpoint_MO(in_engine, in_mediaTask, getProxyData(), in_pCallback, in_szCallId,
                             in_pSpec, in_szEptId),
          "MediaEndpointProxy ctor");
}

MediaEndpointProxy::~MediaEndpointProxy() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEndpointProxy dtor");
  enqueueEvent_MO(new ProxyMediaEvent(MediaEvent::eMEDIA_PROXY_DTOR, RXTX_DIRECTION,
                                      getObjContainer(), getID()),
                  "MediaEndpointProxy dtor");
  enqueue(new ProxyDestruction_MO(getMediaTask(), getProxyData(), handOverID()),
          "MediaEndpointProxy dtor");
}

bool MediaEndpointProxy::getCapacity(Direction in_eDirection) {
  return enqueueProxyMediaEvent_MO(MediaEvent::eGET_CAPACITY, in_eDirection,
                                   "MediaEndpointProxy::getCapacity");
}

bool MediaEndpointProxy::configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) {
  return enqueueEvent_MO(
      new ConfigureMediaEvent(in_eDirection, getObjContainer(), getID(), in_pConfig),
      "MediaEndpointProxy::configure");
}

bool MediaEndpointProxy::start(Direction in_eDirection) {
  return enqueueProxyMediaEvent_MO(MediaEvent::eSTART_ENDPOINT, in_eDirection,
                                   "MediaEndpointProxy::start");
}

bool MediaEndpointProxy::stop(Direction in_eDirection) {
  return enqueueProxyMediaEvent_MO(MediaEvent::eSTOP_ENDPOINT, in_eDirection,
                                   "MediaEndpointProxy::stop");
}

bool MediaEndpointProxy::handleOutOfBandEvent(int in_iEvent) {
  return enqueueEvent_MO(
      new HandleOOBMediaEvent(RX_DIRECTION, getObjContainer(), getID(), in_iEvent),
      "MediaEndpointProxy::handleOutOfBandEvent");
}

MediaEndpointProcessor* MediaEndpointProxy::getProcessor() {
  return getMediaEngine().getEndpointProcessor(m_strEptId.c_str(), nullptr);
}

}  // namespace Omvera
