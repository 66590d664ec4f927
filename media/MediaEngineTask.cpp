#include "tidewave/MediaEngineTask.h"

#include "tidewave/CopiedObjPtr.h"
#include "tidewave/MediaEndpointProxy.h"
#include "tidewave/MediaEngEptCallbackProxy.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEngineImpl.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngineTask", "tidewave.media.EngineTask")

namespace Omvera {

MediaEngineTask::MediaEngineTask()
    : ObjectWithLoggerImpl(LoggingIdLogger(fileScopeLogger())),
      m_endpointPool(CachedLLLogger(fileScopeLogger())),
      m_pTimerScheduler(this) {
  cacheLogLevel();
  m_endpointPool.getLogger().cacheLogLevel();
  setTaskName("Media Engine Task");
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask ctor");
}

MediaEngineTask::~MediaEngineTask() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask dtor");
  // The thread must be gone before the table, the pools and the calls' timers go.
  killAndWait();
  // A task whose thread never served a kill (never started, or left after a stop) may
  // still hold calls: they go back the same way.
  if (!m_mediaCallHash.empty()) returnAllCalls();
}

void MediaEngineTask::setTimerScheduler(LimitedObjPtr<TimerScheduler> in_pScheduler) {
  m_pTimerScheduler = in_pScheduler.isNull() ? LimitedObjPtr<TimerScheduler>(this) : in_pScheduler;
}

MediaEngineTask::LedgerSnapshot MediaEngineTask::getLedgerSnapshot() {
  LedgerSnapshot snapshot;
  snapshot.m_requests = m_ledger.counts();
  snapshot.m_queue = getQueueStats();
  return snapshot;
}

MediaEngineTask::CallHandle MediaEngineTask::findCall(const char* in_szCallId) const {
  const CallHash::const_iterator found = m_mediaCallHash.find(in_szCallId);
  return found == m_mediaCallHash.end() ? CallHandle() : found->second;
}

// ---- any thread -----------------------------------------------------------------------

MediaEndpoint* MediaEngineTask::getEndpoint(MediaEngineGetEndpointImpl& in_engine,
                                            MediaEndpointCallback* in_pCallback,
                                            const char* in_szCallId, const char* in_szEptId,
                                            MediaEndpointSpec* in_pSpec) {
  // Caller threads log through the module logger: the task's own logger belongs to the
  // task thread.
  OMVERA_TRACE_SCOPE(fileScopeLogger(), "MediaEngineTask::getEndpoint");
  CopiedObjPtr<MediaEndpointCallback> pCallback(in_pCallback);
  CopiedObjPtr<MediaEndpointSpec> pSpec(in_pSpec);

  if (!m_bStarted.load()) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "MediaEngineTask::getEndpoint : Not accepting work because the MediaEngineTask "
               "is not started");
    return nullptr;
  }
  if (!Assertion(!pCallback.isNull(), "! pCallback.isNull()", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return nullptr;
  }
  LimitedObjPtr<TaskObjectContainer<MediaCallSM>> pObjContainer;
  LimitedObjPtr<IDGenerator> pIdGenerator;
  m_mediaCallPool.getObjContainerAndIDGenerator(pObjContainer, pIdGenerator);
  const bool bContainer = Assertion(!pObjContainer.isNull(), "!pObjContainer.isNull()",
                                    fileScopeLogger(), s_szMODULE_NAME, __LINE__);
  const bool bGenerator = Assertion(!pIdGenerator.isNull(), "!pIdGenerator.isNull()",
                                    fileScopeLogger(), s_szMODULE_NAME, __LINE__);
  if (!bContainer || !bGenerator) return nullptr;

  return new MediaEndpointProxy(*pIdGenerator, pObjContainer, in_engine, *this,
                                pCallback.release(), in_szCallId, pSpec.release(), in_szEptId);
}

bool MediaEngineTask::start() {
  OMVERA_TRACE_SCOPE(fileScopeLogger(), "MediaEngineTask::start");
  if (getTaskState() != IDLE_STATE) return true;
  m_bStarted.store(true);
  return StaticReactorTaskImpl::start();
}

// ---- engine task thread ---------------------------------------------------------------

bool MediaEngineTask::engineThreadProxyData() {
  if (m_pEngineThreadContainer.isNull() || m_pEngineThreadIDGenerator.isNull()) {
    m_mediaCallPool.getObjContainerAndIDGenerator(m_pEngineThreadContainer,
                                                  m_pEngineThreadIDGenerator);
  }
  const bool bContainer = Assertion(!m_pEngineThreadContainer.isNull(),
                                    "! s_pPObjContainer.isNull()", getLogger(), s_szMODULE_NAME,
                                    __LINE__);
  const bool bGenerator = Assertion(!m_pEngineThreadIDGenerator.isNull(),
                                    "! s_pPIdGenerator.isNull()", getLogger(), s_szMODULE_NAME,
                                    __LINE__);
  return bContainer && bGenerator;
}

bool MediaEngineTask::uncountFinishedCall() {
  if (!Assertion(m_uiNumCallAllEptInFinalState > 0, "m_uiNumCallAllEptInFinalState > 0",
                 getLogger(), s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  --m_uiNumCallAllEptInFinalState;
  return true;
}

MediaEngineTask::CallHandle MediaEngineTask::createCall_i(const char* in_szCallId) {
  const char* szCallId = in_szCallId != nullptr ? in_szCallId : "";
  const std::pair<CallHash::iterator, bool> inserted =
      m_mediaCallHash.emplace(szCallId, CallHandle());
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "There are " << m_mediaCallHash.size() << " active media call(s)");
  if (!inserted.second) return inserted.first->second;

  CallHandle pCall = m_mediaCallPool.getObject();
  if (!Assertion(!pCall.isNull(), "! pMediaCall.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__) ||
      !pCall->initialize(szCallId, LimitedObjPtr<MediaEngineTask>(this))) {
    if (!pCall.isNull()) m_mediaCallPool.takeBack(pCall);
    m_mediaCallHash.erase(inserted.first);
    return CallHandle();
  }
  inserted.first->second = pCall;
  return pCall;
}

bool MediaEngineTask::eraseCall(CallHash::iterator in_entry) {
  const bool bCounted =
      in_entry->second->numEndpoint() > 0 && in_entry->second->allEndpointInFinalState();
  const bool bTakenBack = poolTakeBack(in_entry->second);
  m_mediaCallHash.erase(in_entry);
  if (bCounted && !uncountFinishedCall()) return false;
  return bTakenBack;
}

bool MediaEngineTask::releaseCall_i(const char* in_szCallId) {
  const CallHash::iterator entry = m_mediaCallHash.find(in_szCallId != nullptr ? in_szCallId : "");
  if (entry == m_mediaCallHash.end()) return false;
  if (!entry->second->allEndpointInFinalState()) entry->second->kill();
  return eraseCall(entry);
}

int MediaEngineTask::getEndpoint_i(const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                                   MediaEngineGetEndpointImpl& in_engine,
                                   MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                                   const char* in_szEptId, MediaEndpointSpec* in_pSpec) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::getEndpoint_i");
  CopiedObjPtr<MediaEndpointCallback> pCallback(in_pCallback);
  CopiedObjPtr<MediaEndpointSpec> pSpec(in_pSpec);
  const char* szCallId = in_szCallId != nullptr ? in_szCallId : "";

  // After the stop completed, the task only drains its queue: nothing new is built, and
  // the endpoint's later requests are refused with the task's queue.
  if (isDraining()) {
    OMVERA_LOG(getLogger(), LogLevel::WARN,
               "MediaEngineTask::getEndpoint_i : endpoint of media call "
                   << szCallId << " refused, the MediaEngineTask has completed its stop");
    return 1;
  }
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, "Adding an endpoint to media call " << szCallId);
  const CallHandle pCall = createCall_i(szCallId);
  if (pCall.isNull()) return 1;
  if (!engineThreadProxyData()) {
    if (pCall->numEndpoint() == 0) releaseCall_i(szCallId);
    return 1;
  }

  MediaEngEptCallbackProxy* pCallbackProxy = new MediaEngEptCallbackProxy(
      *m_pEngineThreadIDGenerator, m_pEngineThreadContainer, in_engine, *this);
  TaskObjectProxyData<MediaCallSM> callbackProxyData = pCallbackProxy->getCallbackProxyData();
  callbackProxyData.insertObject(pCall);
  MediaEngineEndpointNoT* pEngineEndpoint = in_engine.createEngineEndpoint(
      szCallId, pCall->nextEndpointIndex(), pCallbackProxy, pSpec.release(), in_szEptId);
  if (pEngineEndpoint == nullptr) {
    // The engine deleted the callback proxy it was given. The user still gets an
    // endpoint, one that fails every request through its callback, so that every request
    // is answered and the call's counts stay right.
    OMVERA_LOG(getLogger(), LogLevel::ERROR,
               "failed to create Media Engine Endpoint for call " << szCallId);
    MediaEngEptCallbackProxy* pFailCallback = new MediaEngEptCallbackProxy(
        *m_pEngineThreadIDGenerator, m_pEngineThreadContainer, in_engine, *this);
    callbackProxyData = pFailCallback->getCallbackProxyData();
    callbackProxyData.insertObject(pCall);
    pEngineEndpoint = new AlwaysFailMediaEngineEndpointImpl(nullptr, in_szEptId, pFailCallback);
  }

  // The user's proxy holds the call from here on (its destruction gives the hold back).
  in_proxyData.insertObject(pCall);
  return pCall->addEndpoint(in_proxyData, pCallback.release(), callbackProxyData,
                            pEngineEndpoint, in_engine, in_szEptId)
             ? 0
             : 1;
}

int MediaEngineTask::proxyDestruction_i(const TaskObjectProxyData<MediaCallSM>& in_proxyData) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::proxyDestruction_i");
  if (!Assertion(!in_proxyData.getObjContainer().isNull(),
                 "! in_proxyData.getObjContainer().isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return 1;
  }
  CallHash::iterator entry = m_mediaCallHash.end();
  {
    // The looked-up handle is one more holder of the call: it must be gone before the
    // table entry is asked whether it is the last one.
    CallHandle objPtr = in_proxyData.getObjContainer()->getObject(in_proxyData.getProxyID());
    if (!Assertion(!objPtr.isNull(), "! objPtr.isNull()", getLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return 1;
    }
    entry = m_mediaCallHash.find(objPtr->getCallId());
    if (!Assertion(entry != m_mediaCallHash.end(), "m_scratchCallIter != m_mediaCallHash.end()",
                   getLogger(), s_szMODULE_NAME, __LINE__)) {
      return 1;
    }
    TaskObjectProxyData<MediaCallSM> proxyData = in_proxyData;
    proxyData.disableProxy();
    objPtr->proxyDisabled(in_proxyData);
  }
  if (!entry->second.unique()) return 0;

  if (!eraseCall(entry)) return 1;
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, "MediaEngineTask pool took back a MediaCallSM");
  if (m_bStopPending && m_mediaCallHash.empty()) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               "MediaEngineTask pool last call reference dropped, completing stop process");
    callStopCompletedIfNeeded();
  }
  return 0;
}

void MediaEngineTask::callActiveAgain() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::callActiveAgain");
  uncountFinishedCall();
}

void MediaEngineTask::allEndpointInFinalState() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::allEndpointInFinalState");
  ++m_uiNumCallAllEptInFinalState;
  Assertion(m_uiNumCallAllEptInFinalState <= m_mediaCallHash.size(),
            "m_uiNumCallAllEptInFinalState <= m_mediaCallHash.size()", getLogger(),
            s_szMODULE_NAME, __LINE__);
  if (getTaskState() != STOPPING_STATE) return;
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "Number of CallSM in final state " << m_uiNumCallAllEptInFinalState
                                                << ", CallSM hash size "
                                                << m_mediaCallHash.size());
  if (m_uiNumCallAllEptInFinalState == m_mediaCallHash.size()) callStopCompletedIfNeeded();
}

bool MediaEngineTask::poolTakeBack(CallHandle& io_pCall) {
  if (!Assertion(!io_pCall.isNull(), "! pCall.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  Assertion(io_pCall->allEndpointInFinalState(), "pCall->allEndpointInFinalState()", getLogger(),
            s_szMODULE_NAME, __LINE__);
  io_pCall->reset();
  Assertion(m_mediaCallPool.takeBack(io_pCall), "m_mediaCallPool.takeBack(pCall)", getLogger(),
            s_szMODULE_NAME, __LINE__);
  return true;
}

void MediaEngineTask::callStopCompletedIfNeeded() {
  if (m_mediaCallHash.empty()) {
    stopCompleted();
    return;
  }
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "Not called stopCompleted() yet because we still have " << m_mediaCallHash.size()
                                                                      << " calls in the hash");
  m_bStopPending = true;
}

void MediaEngineTask::handleMOCallStop() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::handleMOCallStop");
  Assertion(getTaskState() == STOPPING_STATE, "getTaskState() == STOPPING_STATE", getLogger(),
            s_szMODULE_NAME, __LINE__);
  // A call that finishes while the walk goes on completes nothing yet (its count is
  // compared below, once every call was told).
  for (CallHash::value_type& entry : m_mediaCallHash) {
    const CallHandle pCall = entry.second;
    Assertion(pCall->stop(), "pCall->stop()", getLogger(), s_szMODULE_NAME, __LINE__);
  }
  if (m_uiNumCallAllEptInFinalState == m_mediaCallHash.size()) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               "MediaEngineTask stop completed righ away when media call hash has size of "
                   << m_mediaCallHash.size());
    callStopCompletedIfNeeded();
  }
}

void MediaEngineTask::handleMOCallStopCompleted() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::handleMOCallStopCompleted");
  Assertion(m_mediaCallHash.empty(), "m_mediaCallHash.size() == 0", getLogger(), s_szMODULE_NAME,
            __LINE__);
}

void MediaEngineTask::handleMOCallKill() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::handleMOCallKill");
  returnAllCalls();
  StaticReactorTaskImpl::handleMOCallKill();
}

void MediaEngineTask::returnAllCalls() {
  for (CallHash::value_type& entry : m_mediaCallHash) {
    if (!entry.second.isNull() && !entry.second->allEndpointInFinalState()) entry.second->kill();
  }
  // The proxies' holds go too, so that every call goes back to the pool now; requests of
  // those proxies still to come find no call and do nothing.
  m_mediaCallPool.releaseAllRegistered();
  for (CallHash::value_type& entry : m_mediaCallHash) {
    if (!entry.second.isNull()) poolTakeBack(entry.second);
  }
  m_mediaCallHash.clear();
  m_uiNumCallAllEptInFinalState = 0;
}

}  // namespace Omvera
