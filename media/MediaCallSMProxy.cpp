#include "tidewave/MediaCallSMProxy.h"

#include <utility>

#include "tidewave/MediaEngineTask.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaCallSMProxy", "tidewave.media.CallSMProxy")

namespace Omvera {

// ---- ProxyMediaEvent_MO -----------------------------------------------------------------

MediaCallSMProxy::ProxyMediaEvent_MO::ProxyMediaEvent_MO(unsigned long in_ulProxyID,
                                                         LimitedObjPtr<CallContainer> in_pContainer,
                                                         MediaEvent::Type in_eType,
                                                         MediaEndpoint::Direction in_eDirection)
    : MethodObject<MediaCallSM>(in_ulProxyID, in_pContainer), m_eType(in_eType),
      m_eDirection(in_eDirection) {}

MediaCallSMProxy::ProxyMediaEvent_MO::~ProxyMediaEvent_MO() = default;

int MediaCallSMProxy::ProxyMediaEvent_MO::call_i(CountedObjPtr<MediaCallSM> in_pCall) {
  const ProxyMediaEvent event(m_eType, m_eDirection, m_proxyData.getObjContainer(),
                              m_proxyData.getProxyID());
  return in_pCall->processEvent(event) ? 0 : 1;
}

// ---- Event_MO ---------------------------------------------------------------------------

MediaCallSMProxy::Event_MO::Event_MO(const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                                     MediaEvent* in_pEvent)
    : MethodObject<MediaCallSM>(in_proxyData), m_pEvent(in_pEvent) {}

MediaCallSMProxy::Event_MO::~Event_MO() = default;

int MediaCallSMProxy::Event_MO::call_i(CountedObjPtr<MediaCallSM> in_pCall) {
  if (!Assertion(!m_pEvent.isNull(), "! m_pEvent.isNull()", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return 1;
  }
  return in_pCall->processEvent(*m_pEvent) ? 0 : 1;
}

// ---- ProxyDestructionNoT_MO --------------------------------------------------------------

MediaCallSMProxy::ProxyDestructionNoT_MO::ProxyDestructionNoT_MO(
    MediaEngineTask& in_mediaTask, const TaskObjectProxyData<MediaCallSM>& in_proxyData,
    ProxyIDRelease&& io_idRelease)
    : m_mediaTask(in_mediaTask), m_proxyData(in_proxyData), m_idRelease(std::move(io_idRelease)) {}

MediaCallSMProxy::ProxyDestructionNoT_MO::~ProxyDestructionNoT_MO() = default;

int MediaCallSMProxy::ProxyDestructionNoT_MO::call() {
  const int iStatus = m_mediaTask.proxyDestruction_i(m_proxyData);
  m_idRelease.release();
  return iStatus;
}

// ---- MediaCallSMProxy -------------------------------------------------------------------

MediaCallSMProxy::MediaCallSMProxy(IDGenerator& in_idGenerator,
                                   LimitedObjPtr<CallContainer> in_pContainer,
                                   MediaEngineGetEndpointImpl& in_mediaEngine,
                                   MediaEngineTask& in_mediaTask, ACE_Activation_Queue* in_pQueue,
                                   const Logger& in_logger)
    : TaskObjectProxy<MediaCallSM>(in_idGenerator, in_pQueue, in_pContainer),
      ObjectWithLoggerImpl(LoggingIdLogger(in_logger)), m_mediaEngine(in_mediaEngine),
      m_mediaTask(in_mediaTask) {}

MediaCallSMProxy::~MediaCallSMProxy() = default;

bool MediaCallSMProxy::enqueueProxyMediaEvent_MO(MediaEvent::Type in_eType,
                                                 MediaEndpoint::Direction in_eDirection,
                                                 const char* in_szName) {
  return enqueue(new ProxyMediaEvent_MO(getID(), getObjContainer(), in_eType, in_eDirection),
                 in_szName);
}

bool MediaCallSMProxy::enqueueEvent_MO(MediaEvent* in_pEvent, const char* in_szName) {
  if (!Assertion(in_pEvent != nullptr, "in_pEvent != 0", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  return enqueue(new Event_MO(getProxyData(), in_pEvent), in_szName);
}

}  // namespace Omvera
