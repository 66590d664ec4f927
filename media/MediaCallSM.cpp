#include "tidewave/MediaCallSM.h"

#include <limits>
#include <ostream>
#include <typeinfo>

#include "tidewave/MediaEngineImpl.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/CheckedCast.h"
#include "tidewave/infra/Guards.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaCallSM", "tidewave.media.CallSM")

namespace Omvera {

namespace {

// The source module named by the assertions of processTimeout: they report a broken
// contract of the endpoint state machines' timed states.
constexpr const char* s_szTIMEOUT_ASSERT_MODULE = "MediaEndpointSM";

// Prints a list of endpoint indexes separated by one blank.
struct IndexListText {
  const MediaCallSM::IndexVector& m_vIndexes;
};

std::ostream& operator<<(std::ostream& out_stream, const IndexListText& in_text) {
  const char* szSeparator = "";
  for (unsigned long uiIndex : in_text.m_vIndexes) {
    out_stream << szSeparator << uiIndex;
    szSeparator = " ";
  }
  return out_stream;
}

// Prints a redirect-for endpoint ID; an ID that was never given prints as "<invalid>"
// without being read.
struct RedirectIdText {
  const FallibleClass<std::string>& m_strId;
};

std::ostream& operator<<(std::ostream& out_stream, const RedirectIdText& in_text) {
  if (in_text.m_strId.valid()) return out_stream << in_text.m_strId.getValue();
  return out_stream << "<invalid>";
}

// True when the redirect-for ID was given and is exactly in_strEptId.
bool redirectIdEquals(const FallibleClass<std::string>& in_strRedirectForEptId,
                      const std::string& in_strEptId) {
  return in_strRedirectForEptId.valid() && in_strRedirectForEptId.getValue() == in_strEptId;
}

// The endpoint a coordination operation was called for, or null after the assertion that
// says why (index out of range, empty slot). in_iLine is the caller's line.
MediaCallSMEndpoint* checkedEndpoint(const MediaCallSM& in_call, unsigned long in_uiEndpointIndex,
                                     int in_iLine) {
  if (!Assertion(in_uiEndpointIndex < in_call.numEndpoint(), "in_uiEndpointIndex < numEndpoint()",
                 in_call.getLogger(), s_szMODULE_NAME, in_iLine)) {
    return nullptr;
  }
  MediaCallSMEndpoint* pEndpoint = in_call.getEndpoint(in_uiEndpointIndex).get();
  if (!Assertion(pEndpoint != nullptr, "! pEndpoint.isNull()", in_call.getLogger(),
                 s_szMODULE_NAME, in_iLine)) {
    return nullptr;
  }
  return pEndpoint;
}

// Delivers in_event to the endpoints of in_vPeerIndex (a peer list held by one of the
// call's endpoint records) in list order. The walk goes by position over the size the list
// had when it began, so it visits exactly the peers listed then and allocates nothing; it
// does not hold the call's scratch list, which the deliveries may need. False when a
// delivery answered false (the others still get the event) or an index is out of range
// (assertion; the walk stops).
bool deliverToPeerList(MediaCallSM& io_call, const MediaCallSM::IndexVector& in_vPeerIndex,
                       const MediaEvent& in_event) {
  const std::size_t uiNumPeer = in_vPeerIndex.size();
  bool bResult = true;
  for (std::size_t uiPos = 0; uiPos < uiNumPeer; ++uiPos) {
    const unsigned long uiPeerIndex = in_vPeerIndex[uiPos];
    if (!Assertion(uiPeerIndex < io_call.numEndpoint(), "*eptIdIter < m_endpointVector.size()",
                   io_call.getLogger(), s_szMODULE_NAME, __LINE__)) {
      return false;
    }
    const MediaCallSM::EndpointPtr pPeer = io_call.getEndpoint(uiPeerIndex);
    if (pPeer.isNull()) continue;  // only while reset() gives the endpoints back
    if (!io_call.endpointProcessEvent(*pPeer, in_event)) bResult = false;
  }
  return bResult;
}

// The events a final endpoint still takes: the user's requests and the teardowns.
bool reachesFinalEndpoint(MediaEvent::Type in_eType) {
  switch (in_eType) {
    case MediaEvent::eCONFIGURE:
    case MediaEvent::eSTART_ENDPOINT:
    case MediaEvent::eSTOP_ENDPOINT:
    case MediaEvent::eSTOP:
    case MediaEvent::eKILL:
    case MediaEvent::eMEDIA_PROXY_DTOR:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- MediaCallSMEndpoint ------------------------------------------------------------------

MediaCallSMEndpoint::MediaCallSMEndpoint()
    : ObjectWithLoggerImpl(LoggingIdLogger(fileScopeLogger())) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSMEndpoint ctor");
}

MediaCallSMEndpoint::~MediaCallSMEndpoint() = default;

MediaCallEndpointData* MediaCallSMEndpoint::clone() const {
  return MediaCallEndpointData::clone();
}

bool MediaCallSMEndpoint::initialize(const char* in_szCallId, unsigned long in_uiEptIndex,
                                     const char* in_szEptId,
                                     const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                                     LimitedObjPtr<MediaEngineGetEndpointImpl> in_pMediaEngineImpl,
                                     LimitedObjPtr<MediaCallSM> in_pCall,
                                     CountedObjPtr<MediaEndpointCallback> in_pEndpointCallback,
                                     CountedObjPtr<MediaEngineEndpointNoT> in_pEngineEndpoint,
                                     LimitedObjPtr<TimerScheduler> in_pTimers) {
  const char* szCallId = in_szCallId != nullptr ? in_szCallId : "";
  // The endpoint logs like its call (same logger, same cached level) plus its index. A
  // missing call is refused by the state machines below.
  if (!in_pCall.isNull()) setLogger(in_pCall->getLogger());
  clearLoggingIds();
  logCallId(szCallId);
  addLoggingId("ept-id=" + std::to_string(in_uiEptIndex));
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSMEndpoint::initialize");

  m_pMediaEngineImpl = in_pMediaEngineImpl;
  m_uiEptIndex = in_uiEptIndex;
  m_strEptId = in_szEptId != nullptr ? in_szEptId : "";
  // A missing engine endpoint is refused by the state machines below.
  m_eptType = in_pEngineEndpoint.isNull() ? MediaEndpointSpec::eUNDEF_EPT_TYPE
                                          : in_pEngineEndpoint->getEptType();
  // A pooled record may still carry the redirect-for ID of its previous call; the caller
  // sets it again for redirect and fork endpoints.
  m_strRedirectForEptId = FallibleClass<std::string>();

  if (!Assertion(!m_pMediaEngineImpl.isNull(), "! m_pMediaEngineImpl.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }

  m_vRxPeerIndex.clear();
  m_vTxPeerIndex.clear();
  m_bRxStarted = false;
  m_bTxStopped = true;

  if (!m_rxSM.initialize(szCallId, in_uiEptIndex, in_pTimers, in_pCall, in_proxyData,
                         in_pEndpointCallback, in_pEngineEndpoint)) {
    return false;
  }
  return m_txSM.initialize(szCallId, in_uiEptIndex, in_pTimers, in_pCall, in_proxyData,
                           in_pEndpointCallback, in_pEngineEndpoint);
}

bool MediaCallSMEndpoint::processEvent(const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSMEndpoint::processEvent");
  bool bResult = true;
  switch (in_event.getDirection()) {
    case MediaEndpoint::RX_DIRECTION:
      bResult = m_rxSM.processEvent(in_event);
      break;
    case MediaEndpoint::TX_DIRECTION:
      bResult = m_txSM.processEvent(in_event);
      break;
    case MediaEndpoint::RXTX_DIRECTION:
      // The Tx side sees the event only when the Rx side took it.
      bResult = m_rxSM.processEvent(in_event) && m_txSM.processEvent(in_event);
      break;
    default:
      OMVERA_LOG(getLogger(), LogLevel::WARN,
                 in_event << " : unexpected event direction. Ignoring");
      break;
  }
  // A final side publishes nothing any more: its peer data is dropped.
  if (m_rxSM.isInFinalState()) m_pRxPeerData.reset();
  if (m_txSM.isInFinalState()) m_pTxPeerData.reset();
  return bResult;
}

bool MediaCallSMEndpoint::sendPeerData(MediaEndpoint::Direction in_eDirection,
                                       const MediaPeerData& in_peerData) {
  // What a peer's Tx side produced is for this endpoint's Rx side, and the other way round.
  const bool bToRxSide = in_eDirection == MediaEndpoint::TX_DIRECTION;
  const CountedObjPtr<MediaEngineEndpointNoT>& pEngineEndpoint =
      bToRxSide ? m_rxSM.getEngineEndpoint() : m_txSM.getEngineEndpoint();
  if (pEngineEndpoint.isNull()) return true;
  // The stand-in the engine task gives an endpoint its engine could not create is not the
  // engine's own: the engine never sees it.
  if (dynamic_cast<const AlwaysFailMediaEngineEndpointImpl*>(pEngineEndpoint.get()) != nullptr) {
    return true;
  }
  if (!Assertion(!m_pMediaEngineImpl.isNull(), "! m_pMediaEngineImpl.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return true;
  }
  m_pMediaEngineImpl->deliverPeerData(
      *pEngineEndpoint, bToRxSide ? MediaEndpoint::RX_DIRECTION : MediaEndpoint::TX_DIRECTION,
      in_peerData);
  return true;
}

bool MediaCallSMEndpoint::notifyPeerEvent(MediaEndpoint::Direction in_eDirection,
                                          const MediaNotificationEvent& in_event) {
  const CountedObjPtr<MediaEngineEndpointNoT>& pEngineEndpoint =
      in_eDirection == MediaEndpoint::TX_DIRECTION ? m_rxSM.getEngineEndpoint()
                                                   : m_txSM.getEngineEndpoint();
  if (pEngineEndpoint.isNull()) return true;
  pEngineEndpoint->notifyPeerEvent(in_event.clone());
  return true;
}

bool MediaCallSMEndpoint::kill() {
  const MediaEventWithDirImpl killEvent(MediaEvent::eKILL, MediaEndpoint::RXTX_DIRECTION);
  return processEvent(killEvent);
}

bool MediaCallSMEndpoint::isInFinalState() const {
  return m_rxSM.isInFinalState() && m_txSM.isInFinalState();
}

void MediaCallSMEndpoint::reset() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSMEndpoint::reset");
  // A pooled endpoint holds nothing of the user's.
  m_rxSM.releaseCallback();
  m_txSM.releaseCallback();
  m_pMediaEngineImpl = LimitedObjPtr<MediaEngineGetEndpointImpl>();
  MediaCallEndpointData::reset();
}

// ---- MediaCallSM: life cycle --------------------------------------------------------------

MediaCallSM::MediaCallSM() : ObjectWithLogger<LoggingIdLogger>(LoggingIdLogger(fileScopeLogger())) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM ctor");
}

MediaCallSM::~MediaCallSM() = default;

bool MediaCallSM::initialize(const char* in_szCallId, LimitedObjPtr<MediaEngineTask> in_pMediaTask) {
  const char* szCallId = in_szCallId != nullptr ? in_szCallId : "";
  getLogger().cacheLogLevel();
  getLogger().clearLoggingIds();
  getLogger().logCallId(szCallId);
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::initialize");

  Assertion(m_endpointVector.empty(), "m_endpointVector.empty()", getLogger(), s_szMODULE_NAME,
            __LINE__);

  m_strCallId = szCallId;
  m_pMediaTask = in_pMediaTask;
  if (!Assertion(!m_pMediaTask.isNull(), "! m_pMediaTask.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }

  // Without a configuration cache on the task, getConfig() reports it and reads the
  // process-wide configuration.
  if (!getConfig().getBoolParameter(s_szMEDIA_CALLSM_TXDONTWAITFORPEER_PARAM,
                                    m_bTxDontWaitForPeer)) {
    m_bTxDontWaitForPeer = false;
  }
  return true;
}

bool MediaCallSM::addEndpoint(const TaskObjectProxyData<MediaCallSM>& in_eptProxyData,
                              MediaEndpointCallback* in_pEndpointCallback,
                              const TaskObjectProxyData<MediaCallSM>& in_callbackProxyData,
                              MediaEngineEndpointNoT* in_pEngineEndpoint,
                              MediaEngineGetEndpointImpl& in_mediaEngine, const char* in_szEptId) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::addEndpoint");

  // The call owns both from here on: an early return deletes them with these handles.
  CountedObjPtr<MediaEndpointCallback> pEndpointCallback(in_pEndpointCallback);
  CountedObjPtr<MediaEngineEndpointNoT> pEngineEndpoint(in_pEngineEndpoint);

  if (!Assertion(!pEndpointCallback.isNull(), "! pEndpointCallback.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  if (!Assertion(!pEngineEndpoint.isNull(), "! pEngineEndpoint.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  if (!Assertion(!m_pMediaTask.isNull(), "! m_pMediaTask.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }

  EndpointPtr pEndpoint = m_pMediaTask->getEndpointPool().getObject();
  if (!Assertion(!pEndpoint.isNull(), "! pEndpoint.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }

  const LimitedObjPtr<MediaEngineGetEndpointImpl> pEngine(&in_mediaEngine);
  // An entry already present for this engine is kept as it is.
  m_engineDataHash.emplace(pEngine, EngineData());

  const unsigned long uiIndex = numEndpoint();
  const LimitedObjPtr<MediaEndpointSpec> pSpec = pEngineEndpoint->getEndpointSpec();

  if (!pEndpoint->initialize(m_strCallId.c_str(), uiIndex, in_szEptId, in_eptProxyData, pEngine,
                             LimitedObjPtr<MediaCallSM>(this), pEndpointCallback, pEngineEndpoint,
                             m_pMediaTask->getTimerScheduler())) {
    OMVERA_LOG(getLogger(), LogLevel::ERROR, "failed to initialize endpoint");
    pEndpoint->kill();
    if (pEndpoint->isInFinalState()) {
      endpointPoolTakeBack(pEndpoint);
    } else {
      Assertion(false, "pEndpoint->isInFinalState()", getLogger(), s_szMODULE_NAME, __LINE__);
    }
    return false;
  }

  // A finished call (one whose endpoints were all final) that gains an endpoint is active
  // again: the engine task stops counting it as finished.
  const bool bWasFinished = numEndpoint() > 0 && allEndpointInFinalState();
  m_engineDataHash[pEngine].m_vEptIndex.push_back(uiIndex);
  m_endpointVector.push_back(pEndpoint);
  if (bWasFinished && !allEndpointInFinalState()) m_pMediaTask->callActiveAgain();

  switch (pEndpoint->getEptType()) {
    case MediaEndpointSpec::eSND_RECV:
      if (!updatePeerInfoSndRecv(uiIndex)) return false;
      break;
    case MediaEndpointSpec::eREDIRECT_RX: {
      if (!Assertion(!pSpec.isNull(), "! pSpec.isNull()", getLogger(), s_szMODULE_NAME,
                     __LINE__)) {
        return false;
      }
      const RedirectRxEndpointSpec* pRedirectSpec =
          OMVERA_DYNCAST_ASSERT(RedirectRxEndpointSpec, &*pSpec);
      if (pRedirectSpec == nullptr) return false;
      pEndpoint->m_strRedirectForEptId = pRedirectSpec->getRedirectForEptId();
      if (!updatePeerInfoRedirect(uiIndex)) return false;
      break;
    }
    case MediaEndpointSpec::eFORK_TX: {
      if (!Assertion(!pSpec.isNull(), "! pSpec.isNull()", getLogger(), s_szMODULE_NAME,
                     __LINE__)) {
        return false;
      }
      const ForkTxEndpointSpec* pForkSpec = OMVERA_DYNCAST_ASSERT(ForkTxEndpointSpec, &*pSpec);
      if (pForkSpec == nullptr) return false;
      pEndpoint->m_strRedirectForEptId = pForkSpec->getRedirectForEptId();
      if (!updatePeerInfoFork(uiIndex)) return false;
      break;
    }
    default:
      Assertion(false, "0", getLogger(), s_szMODULE_NAME, __LINE__);
      return false;
  }

  m_proxyDataHash[in_eptProxyData] = pEndpoint;
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, in_eptProxyData);
  m_proxyDataHash[in_callbackProxyData] = pEndpoint;

  return sendPeerDataNewEndpoint(pEndpoint);
}

bool MediaCallSM::processEvent(const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::processEvent");
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, "MediaCallSM processing " << in_event);

  // A finished call has been reported to the engine task already: it does not report
  // again, and of all events only the user's requests and teardowns still reach its
  // endpoints (a request is answered failed; a teardown lets the endpoint's callback go).
  if (allEndpointInFinalState()) {
    if (reachesFinalEndpoint(in_event.getType()) &&
        dynamic_cast<const ProxyMediaEvent*>(&in_event) != nullptr) {
      return processProxyEvent(in_event);
    }
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               "not processing event because all endpoints are in a final State");
    return true;
  }

  const bool bResult = dynamic_cast<const ProxyMediaEvent*>(&in_event) != nullptr
                           ? processProxyEvent(in_event)
                           : processOtherEvent(in_event);
  finalStateCheck();
  return bResult;
}

bool MediaCallSM::processProxyEvent(const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::processProxyEvent");

  const ProxyMediaEvent* pProxyEvent = dynamic_cast<const ProxyMediaEvent*>(&in_event);
  if (!Assertion(pProxyEvent != nullptr, "pProxyEvent != 0", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  const ProxyDataHash::const_iterator found = m_proxyDataHash.find(pProxyEvent->getProxyData());
  if (found == m_proxyDataHash.end()) {
    OMVERA_LOG(getLogger(), LogLevel::WARN, in_event << " : invalid proxy data event. Ignoring");
    return true;
  }
  const EndpointPtr pEndpoint = found->second;

  switch (in_event.getType()) {
    case MediaEvent::eSEND_PEER_DATA: {
      const PeerDataMediaEvent* pEvent = dynamic_cast<const PeerDataMediaEvent*>(&in_event);
      if (!Assertion(pEvent != nullptr, "pEvent != 0", getLogger(), s_szMODULE_NAME, __LINE__)) {
        return false;
      }
      // The clone is owned by the source endpoint from now on (or deleted on failure).
      MediaCallEndpointData::PeerDataPtr pPeerDataCopy(pEvent->getPeerData());
      return processSendPeerDataEvent(in_event.getDirection(), pPeerDataCopy.release(),
                                      pEndpoint);
    }
    case MediaEvent::eNOTIFICATION: {
      const MediaEngineNotificationEvent* pEvent =
          OMVERA_DYNCAST_ASSERT(const MediaEngineNotificationEvent, &in_event);
      if (!Assertion(pEvent != nullptr, "pEvent != 0", getLogger(), s_szMODULE_NAME, __LINE__)) {
        return false;
      }
      // An engine notification event built without its notification has nothing to pass on.
      if (!Assertion(pEvent->hasEvent(), "pEvent->hasEvent()", getLogger(), s_szMODULE_NAME,
                     __LINE__)) {
        return false;
      }
      {
        ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
        // An undefined direction lists no peer (findPeers reports it and fills nothing).
        m_scratchEptIdVector.clear();
        pEndpoint->findPeers(in_event.getDirection(), m_scratchEptIdVector);
        for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
          if (!Assertion(m_scratchEptIdVector[i] < m_endpointVector.size(),
                         "m_scratchEptIdVector[i] < m_endpointVector.size()", getLogger(),
                         s_szMODULE_NAME, __LINE__)) {
            return false;
          }
          const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
          if (pPeer.isNull()) continue;
          if (!pPeer->notifyPeerEvent(in_event.getDirection(), pEvent->getEvent())) {
            OMVERA_LOG(getLogger(), LogLevel::ERROR,
                       "MediaCallSM::processProxyEvent : notifyPeerEvent failed");
          }
        }
      }
      // The peers have been told; the source endpoint's own machine (its user) comes last.
      return endpointProcessEvent(*pEndpoint, in_event);
    }
    default:
      return endpointProcessEvent(*pEndpoint, in_event);
  }
}

bool MediaCallSM::processTimeout(const ACE_Time_Value& in_now,
                                 const TimeoutData* in_pTimeoutData) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::processTimeout");
  if (!Assertion(in_pTimeoutData != nullptr, "in_pTimeoutData != 0", getLogger(),
                 s_szTIMEOUT_ASSERT_MODULE, __LINE__)) {
    return false;
  }
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "typeid(*in_pTimeoutData)=" << readableTypeName(typeid(*in_pTimeoutData).name()));

  const MediaEndpointSMState* pState = dynamic_cast<const MediaEndpointSMState*>(in_pTimeoutData);
  if (!Assertion(pState != nullptr, "pState != 0", getLogger(), s_szTIMEOUT_ASSERT_MODULE,
                 __LINE__)) {
    return false;
  }

  // A call already reported as finished is not reported again: the engine task hears of
  // each call once per passage to all-final (the timeout itself reaches no final endpoint).
  const bool bWasAllFinal = allEndpointInFinalState();
  const TimeoutProxyMediaEvent timeoutEvent(in_now, in_pTimeoutData, pState->getSMDirection(),
                                            pState->getProxyData());
  const bool bResult = processProxyEvent(timeoutEvent);
  if (!bWasAllFinal) finalStateCheck();
  return bResult;
}

bool MediaCallSM::processOtherEvent(const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::processOtherEvent");
  switch (in_event.getType()) {
    case MediaEvent::eSTOP:
    case MediaEvent::eKILL:
      // Every endpoint, no exception; a refusal ends the distribution but the call has
      // consumed the event.
      allEndpointsProcessEvent(in_event, std::numeric_limits<unsigned long>::max());
      break;
    default:
      OMVERA_LOG(getLogger(), LogLevel::WARN, "Ignoring unexpected event " << in_event);
      break;
  }
  return true;
}

bool MediaCallSM::stop() {
  const MediaEventWithDirImpl stopEvent(MediaEvent::eSTOP, MediaEndpoint::RXTX_DIRECTION);
  return processEvent(stopEvent);
}

bool MediaCallSM::kill() {
  const MediaEventWithDirImpl killEvent(MediaEvent::eKILL, MediaEndpoint::RXTX_DIRECTION);
  return processEvent(killEvent);
}

void MediaCallSM::reset() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::reset");
  m_strCallId.clear();
  m_engineDataHash.clear();
  // Dropping the proxy data entries leaves each endpoint held by its slot alone, so that
  // the pool can take it back.
  m_proxyDataHash.clear();

  for (std::vector<EndpointPtr>::iterator eptIter = m_endpointVector.begin();
       eptIter != m_endpointVector.end(); ++eptIter) {
    if (eptIter->isNull()) continue;
    if (!(*eptIter)->isInFinalState()) {
      // Killed directly: the call is going away, its final-state count no longer matters.
      (*eptIter)->kill();
      Assertion((*eptIter)->isInFinalState(), "(*eptIter)->isInFinalState()", getLogger(),
                s_szMODULE_NAME, __LINE__);
    }
    Assertion(endpointPoolTakeBack(*eptIter), "endpointPoolTakeBack(*eptIter)", getLogger(),
              s_szMODULE_NAME, __LINE__);
  }
  m_endpointVector.clear();

  m_pMediaTask = LimitedObjPtr<MediaEngineTask>();
  getLogger().clearLoggingIds();
  m_uiNumEptInFinalState = 0;
}

// ---- MediaCallSM: queries -----------------------------------------------------------------

Fallible<unsigned long> MediaCallSM::findEndpoint(const char* in_szEptId) const {
  if (in_szEptId == nullptr) return Fallible<unsigned long>();
  for (unsigned long uiIndex = 0; uiIndex < m_endpointVector.size(); ++uiIndex) {
    const EndpointPtr& pEndpoint = m_endpointVector[uiIndex];
    if (!pEndpoint.isNull() && pEndpoint->m_strEptId == in_szEptId) {
      return Fallible<unsigned long>(uiIndex);
    }
  }
  return Fallible<unsigned long>();
}

MediaCallSM::EndpointPtr MediaCallSM::getEndpoint(unsigned long in_uiEndpointIndex) const {
  if (in_uiEndpointIndex >= m_endpointVector.size()) return EndpointPtr();
  return m_endpointVector[in_uiEndpointIndex];
}

void MediaCallSM::proxyDisabled(const TaskObjectProxyData<MediaCallSM>& /*in_proxyData*/) {}

const ROConfiguration& MediaCallSM::getConfig() const {
  if (!Assertion(!m_pMediaTask.isNull(), "! m_pMediaTask.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return GlobalConfig::getInstance();
  }
  if (!Assertion(!m_pMediaTask->m_hConfigCache.isNull(), "! m_pMediaTask->m_hConfigCache.isNull()",
                 getLogger(), s_szMODULE_NAME, __LINE__)) {
    return GlobalConfig::getInstance();
  }
  return *m_pMediaTask->m_hConfigCache;
}

bool MediaCallSM::initMediaCallData(MediaCallData& io_callData) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::initMediaCallData");
  io_callData.m_vEptData.resize(m_endpointVector.size());
  for (std::size_t i = 0; i < m_endpointVector.size(); ++i) {
    const EndpointPtr& pEndpoint = m_endpointVector[i];
    if (pEndpoint.isNull()) {
      io_callData.m_vEptData[i] = MediaCallEndpointData();
    } else {
      io_callData.m_vEptData[i] = static_cast<const MediaCallEndpointData&>(*pEndpoint);
    }
  }
  return true;
}

// ---- MediaCallSM: coordination ------------------------------------------------------------

bool MediaCallSM::rxStarted(unsigned long in_uiEndpointIndex) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::rxStarted");
  MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  Assertion(pEndpoint->m_bRxStarted == false, "pEndpoint->m_bRxStarted == false", getLogger(),
            s_szMODULE_NAME, __LINE__);
  pEndpoint->m_bRxStarted = true;
  // Every start of a feeding Rx side is announced, so that Tx sides waiting for one start.
  const MediaEventWithDirImpl startedEvent(MediaEvent::eONEPLUS_RX_STARTED,
                                           MediaEndpoint::TX_DIRECTION);
  return rxPeerProcessEvent(in_uiEndpointIndex, startedEvent);
}

bool MediaCallSM::rxStopping(unsigned long in_uiEndpointIndex) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::rxStopping");
  MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  Assertion(pEndpoint->m_bRxStarted == true, "pEndpoint->m_bRxStarted == true", getLogger(),
            s_szMODULE_NAME, __LINE__);
  pEndpoint->m_bRxStarted = false;
  return true;
}

bool MediaCallSM::txStarting(unsigned long in_uiEndpointIndex) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::txStarting");
  MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  Assertion(pEndpoint->m_bTxStopped == true, "pEndpoint->m_bTxStopped == true", getLogger(),
            s_szMODULE_NAME, __LINE__);
  pEndpoint->m_bTxStopped = false;
  return true;
}

bool MediaCallSM::txStopped(unsigned long in_uiEndpointIndex) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::txStopped");
  MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  Assertion(pEndpoint->m_bTxStopped == false, "pEndpoint->m_bTxStopped == false", getLogger(),
            s_szMODULE_NAME, __LINE__);
  pEndpoint->m_bTxStopped = true;

  // Walks the endpoint's own list (not the scratch list, which allTxStopped needs), by
  // position over the size it had when the walk began.
  const IndexVector& vTxPeerIndex = pEndpoint->m_vTxPeerIndex;
  const std::size_t uiNumPeer = vTxPeerIndex.size();
  for (std::size_t uiPos = 0; uiPos < uiNumPeer; ++uiPos) {
    const unsigned long uiRxIndex = vTxPeerIndex[uiPos];
    if (uiRxIndex < m_endpointVector.size() && m_endpointVector[uiRxIndex].isNull()) {
      continue;  // only while reset() gives the endpoints back
    }
    // An Rx side that is itself processing the event that led here (its stop made this Tx
    // side stop at once) cannot take a nested event; it looks again when it is done.
    if (uiRxIndex < m_endpointVector.size() &&
        m_endpointVector[uiRxIndex]->getRxSM().isProcessingEvent()) {
      continue;
    }
    if (allTxStopped(uiRxIndex)) {
      const MediaEventWithDirImpl allStoppedEvent(MediaEvent::eALL_TX_STOPPED,
                                                  MediaEndpoint::RX_DIRECTION);
      const EndpointPtr pRxEndpoint = m_endpointVector[uiRxIndex];
      if (!endpointProcessEvent(*pRxEndpoint, allStoppedEvent)) return false;
    }
  }
  return true;
}

bool MediaCallSM::isTxStopped(unsigned long in_uiEndpointIndex) const {
  const MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return true;
  return pEndpoint->m_bTxStopped;
}

bool MediaCallSM::allTxStopped(unsigned long in_uiEndpointIndex) const {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::allTxStopped");
  const MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;

  ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
  m_scratchEptIdVector.clear();
  pEndpoint->findPeers(MediaEndpoint::RX_DIRECTION, m_scratchEptIdVector);
  for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
    if (!Assertion(m_scratchEptIdVector[i] < numEndpoint(),
                   "m_scratchEptIdVector[i] < numEndpoint()", getLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return false;
    }
    const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
    if (!pPeer.isNull() && !pPeer->m_bTxStopped) {
      OMVERA_LOG(getLogger(), LogLevel::DEBUG, "allTxStopped result : false");
      return false;
    }
  }
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, "allTxStopped result : true");
  return true;
}

bool MediaCallSM::stopAllTx(unsigned long in_uiEndpointIndex) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::stopAllTx");
  const MediaEventWithDirImpl stopTxEvent(MediaEvent::ePEER_STOP_TXENDPOINT,
                                          MediaEndpoint::TX_DIRECTION);
  return rxPeerProcessEvent(in_uiEndpointIndex, stopTxEvent);
}

bool MediaCallSM::onePlusRxStarted(unsigned long in_uiEndpointIndex) const {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::onePlusRxStarted");
  if (m_bTxDontWaitForPeer) return true;
  if (!Assertion(in_uiEndpointIndex < m_endpointVector.size(),
                 "in_uiEndpointIndex < m_endpointVector.size()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  const EndpointPtr& pEndpoint = m_endpointVector[in_uiEndpointIndex];
  if (!Assertion(!pEndpoint.isNull(), "! pEndpoint.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }

  ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
  m_scratchEptIdVector.clear();
  pEndpoint->findPeers(MediaEndpoint::TX_DIRECTION, m_scratchEptIdVector);
  if (m_scratchEptIdVector.empty()) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               "onePlusRxStarted is false because this Tx endpoint has no peers");
    return false;
  }
  for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
    if (!Assertion(m_scratchEptIdVector[i] < numEndpoint(),
                   "m_scratchEptIdVector[i] < numEndpoint()", getLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return false;
    }
    const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
    if (!pPeer.isNull() && pPeer->m_bRxStarted) return true;
  }
  return false;
}

// ---- MediaCallSM: distribution ------------------------------------------------------------

bool MediaCallSM::rxPeerProcessEvent(unsigned long in_uiEndpointIndex, const MediaEvent& in_event) {
  const MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  // Peer lists change only when an endpoint is added, never while an event is processed.
  return deliverToPeerList(*this, pEndpoint->m_vRxPeerIndex, in_event);
}

bool MediaCallSM::txPeerProcessEvent(unsigned long in_uiEndpointIndex, const MediaEvent& in_event) {
  const MediaCallSMEndpoint* pEndpoint = checkedEndpoint(*this, in_uiEndpointIndex, __LINE__);
  if (pEndpoint == nullptr) return false;
  return deliverToPeerList(*this, pEndpoint->m_vTxPeerIndex, in_event);
}

bool MediaCallSM::endpointSetProcessEvent(const IndexVector& in_vIndexes,
                                          const MediaEvent& in_event) {
  bool bResult = true;
  for (IndexVector::const_iterator eptIdIter = in_vIndexes.begin(); eptIdIter != in_vIndexes.end();
       ++eptIdIter) {
    if (!Assertion(*eptIdIter < m_endpointVector.size(), "*eptIdIter < m_endpointVector.size()",
                   getLogger(), s_szMODULE_NAME, __LINE__)) {
      return false;
    }
    const EndpointPtr pEndpoint = m_endpointVector[*eptIdIter];
    if (pEndpoint.isNull()) continue;
    if (!endpointProcessEvent(*pEndpoint, in_event)) bResult = false;
  }
  return bResult;
}

bool MediaCallSM::allEndpointsProcessEvent(const MediaEvent& in_event,
                                           unsigned long in_uiExceptIndex) {
  for (unsigned long uiIndex = 0; uiIndex < m_endpointVector.size(); ++uiIndex) {
    if (uiIndex == in_uiExceptIndex) continue;
    const EndpointPtr pEndpoint = m_endpointVector[uiIndex];
    if (pEndpoint.isNull()) continue;
    if (!endpointProcessEvent(*pEndpoint, in_event)) return false;
  }
  return true;
}

bool MediaCallSM::endpointProcessEvent(MediaCallSMEndpoint& io_endpoint,
                                       const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::endpointProcessEvent");
  // A final endpoint is never counted twice; it only answers the user's requests (failed)
  // and lets its callback go on a teardown.
  if (io_endpoint.isInFinalState()) {
    if (reachesFinalEndpoint(in_event.getType())) io_endpoint.processEvent(in_event);
    return true;
  }

  const bool bResult = io_endpoint.processEvent(in_event);
  if (io_endpoint.isInFinalState()) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG, "endpoint has reached a final state");
    ++m_uiNumEptInFinalState;
  }
  if (!Assertion(m_uiNumEptInFinalState <= numEndpoint(),
                 "m_uiNumEptInFinalState <= numEndpoint()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  return bResult;
}

void MediaCallSM::finalStateCheck() {
  if (!allEndpointInFinalState()) return;
  if (!Assertion(!m_pMediaTask.isNull(), "! m_pMediaTask.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return;
  }
  m_pMediaTask->allEndpointInFinalState();
}

bool MediaCallSM::endpointPoolTakeBack(EndpointPtr& io_pEndpoint) {
  if (io_pEndpoint.isNull()) return false;
  io_pEndpoint->reset();
  if (!Assertion(!m_pMediaTask.isNull(), "! m_pMediaTask.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    io_pEndpoint.reset();
    return false;
  }
  return m_pMediaTask->getEndpointPool().takeBack(io_pEndpoint);
}

// ---- MediaCallSM: topology and peer data --------------------------------------------------

bool MediaCallSM::updatePeerInfoSndRecv(unsigned long in_newEptId) {
  static constexpr const char* s_szSCOPE = "MediaCallSM::updatePeerInfoSndRecv";
  OMVERA_TRACE_SCOPE(getLogger(), s_szSCOPE);
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, s_szSCOPE << " : ept-id=" << in_newEptId);

  const unsigned long uiNumEpt = m_endpointVector.size();
  if (!Assertion(in_newEptId < uiNumEpt, "in_newEptId < uiNumEpt", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  const EndpointPtr pNewEpt = m_endpointVector[in_newEptId];
  if (!Assertion(!pNewEpt.isNull(), "! pNewEpt.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (!Assertion(pNewEpt->getEptType() == MediaEndpointSpec::eSND_RECV,
                 "pNewEpt->getEptType() == MediaEndpointSpec::eSND_RECV", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }

  // First pass: every send-receive endpoint and the new one feed each other.
  for (unsigned long i = 0; i < uiNumEpt; ++i) {
    if (i == in_newEptId) continue;
    const EndpointPtr& pEpt = m_endpointVector[i];
    if (pEpt.isNull() || pEpt->getEptType() != MediaEndpointSpec::eSND_RECV) continue;
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               s_szSCOPE << " : ept" << i << " is a peer of the new Tx");
    pNewEpt->m_vTxPeerIndex.push_back(i);
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               s_szSCOPE << " : ept" << i << " is a peer of the new Rx");
    pNewEpt->m_vRxPeerIndex.push_back(i);
    pEpt->m_vTxPeerIndex.push_back(in_newEptId);
    pEpt->m_vRxPeerIndex.push_back(in_newEptId);
  }

  // Second pass, on the completed send-receive links: fork endpoints follow the feeders of
  // the endpoint they fork, redirect endpoints bind to the new endpoint when it is theirs.
  for (unsigned long i = 0; i < uiNumEpt; ++i) {
    if (i == in_newEptId) continue;
    const EndpointPtr& pEpt = m_endpointVector[i];
    if (pEpt.isNull()) continue;

    if (pEpt->getEptType() == MediaEndpointSpec::eFORK_TX) {
      OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                 s_szSCOPE << " : pEpt->m_strRedirectForEptId="
                           << RedirectIdText{pEpt->m_strRedirectForEptId});
      OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                 s_szSCOPE << " : pNewEpt->getEptId()=" << pNewEpt->getEptId());
      if (!pEpt->m_redirectForkIndex.valid() &&
          redirectIdEquals(pEpt->m_strRedirectForEptId, pNewEpt->m_strEptId)) {
        OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                   "New ept " << in_newEptId << " is forked to ept " << i);
        pEpt->m_redirectForkIndex = in_newEptId;
      } else {
        OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                   "New ept " << in_newEptId << " is NOT forked to ept " << i);
      }
      if (pEpt->m_redirectForkIndex.valid()) {
        const unsigned long uiForkedIndex = pEpt->m_redirectForkIndex.getValue();
        if (uiForkedIndex < uiNumEpt && !m_endpointVector[uiForkedIndex].isNull()) {
          // Assigning reuses the list's storage; the forked endpoint's list is complete.
          pEpt->m_vTxPeerIndex = m_endpointVector[uiForkedIndex]->m_vTxPeerIndex;
        }
        OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                   "updated the peers of a eFORK_TX ept : " << IndexListText{pEpt->m_vTxPeerIndex});
        for (unsigned long uiPeerIndex : pEpt->m_vTxPeerIndex) {
          if (uiPeerIndex == in_newEptId) {
            OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                       s_szSCOPE << " : the new ept is a peer of this fork ept");
            pNewEpt->m_vRxPeerIndex.push_back(i);
            break;
          }
        }
      }
    } else if (pEpt->getEptType() == MediaEndpointSpec::eREDIRECT_RX) {
      const bool bBind = (!pEpt->m_redirectForkIndex.valid() &&
                          redirectIdEquals(pEpt->m_strRedirectForEptId, pNewEpt->m_strEptId)) ||
                         eptsFromSameEngine(pEpt, pNewEpt);
      if (bBind) {
        pEpt->m_redirectForkIndex = in_newEptId;
        pEpt->m_vTxPeerIndex.push_back(in_newEptId);
        pNewEpt->m_vRxPeerIndex.push_back(i);
        OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                   "updated the peers of a eREDIRECT_RX ept : "
                       << IndexListText{pEpt->m_vTxPeerIndex});
      }
    }
  }
  return true;
}

bool MediaCallSM::updatePeerInfoRedirect(unsigned long in_newEptId) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::updatePeerInfoRedirect");
  if (!Assertion(in_newEptId < m_endpointVector.size(), "in_newEptId < m_endpointVector.size()",
                 getLogger(), s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  const EndpointPtr pNewEndpoint = m_endpointVector[in_newEptId];
  if (!Assertion(!pNewEndpoint.isNull(), "! pNewEndpoint.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (!Assertion(pNewEndpoint->getEptType() == MediaEndpointSpec::eREDIRECT_RX,
                 "pNewEndpoint->getEptType() == MediaEndpointSpec::eREDIRECT_RX", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  Assertion(!pNewEndpoint->m_redirectForkIndex.valid(), "! pNewEndpoint->m_redirectForkIndex.valid()",
            getLogger(), s_szMODULE_NAME, __LINE__);

  // A redirect-for ID that was never given names no endpoint.
  pNewEndpoint->m_redirectForkIndex =
      pNewEndpoint->m_strRedirectForEptId.valid()
          ? findEndpoint(pNewEndpoint->m_strRedirectForEptId.getValue().c_str())
          : Fallible<unsigned long>();
  unbindSelf(*pNewEndpoint, in_newEptId, "MediaCallSM::updatePeerInfoRedirect");
  if (pNewEndpoint->m_redirectForkIndex.valid()) {
    const unsigned long uiForIndex = pNewEndpoint->m_redirectForkIndex.getValue();
    pNewEndpoint->m_vTxPeerIndex.push_back(uiForIndex);
    m_endpointVector[uiForIndex]->m_vRxPeerIndex.push_back(in_newEptId);
  }
  // Unbound is not an error: a later send-receive endpoint with the ID (or of the same
  // engine) binds it.
  return true;
}

bool MediaCallSM::updatePeerInfoFork(unsigned long in_newEptId) {
  static constexpr const char* s_szSCOPE = "MediaCallSM::updatePeerInfoFork";
  OMVERA_TRACE_SCOPE(getLogger(), s_szSCOPE);
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, s_szSCOPE << " : ept-id=" << in_newEptId);

  if (!Assertion(in_newEptId < m_endpointVector.size(), "in_newEptId < m_endpointVector.size()",
                 getLogger(), s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  const EndpointPtr pNewEndpoint = m_endpointVector[in_newEptId];
  if (!Assertion(!pNewEndpoint.isNull(), "! pNewEndpoint.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (!Assertion(pNewEndpoint->getEptType() == MediaEndpointSpec::eFORK_TX,
                 "pNewEndpoint->getEptType() == MediaEndpointSpec::eFORK_TX", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  Assertion(!pNewEndpoint->m_redirectForkIndex.valid(), "! pNewEndpoint->m_redirectForkIndex.valid()",
            getLogger(), s_szMODULE_NAME, __LINE__);

  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             s_szSCOPE << " : pNewEndpoint->m_strRedirectForEptId="
                       << RedirectIdText{pNewEndpoint->m_strRedirectForEptId});

  pNewEndpoint->m_redirectForkIndex =
      pNewEndpoint->m_strRedirectForEptId.valid()
          ? findEndpoint(pNewEndpoint->m_strRedirectForEptId.getValue().c_str())
          : Fallible<unsigned long>();
  unbindSelf(*pNewEndpoint, in_newEptId, s_szSCOPE);
  if (!pNewEndpoint->m_redirectForkIndex.valid()) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               s_szSCOPE << " : pNewEndpoint->m_redirectForkIndex is invalid");
    return true;
  }

  const unsigned long uiForkedIndex = pNewEndpoint->m_redirectForkIndex.getValue();
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             s_szSCOPE << " : pNewEndpoint->m_redirectForkIndex=" << uiForkedIndex);
  pNewEndpoint->m_vTxPeerIndex = m_endpointVector[uiForkedIndex]->m_vTxPeerIndex;
  const IndexVector& vPeerIndex = pNewEndpoint->m_vTxPeerIndex;
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             s_szSCOPE << " : vPeerIndex=" << IndexListText{vPeerIndex});
  for (std::size_t i = 0; i < vPeerIndex.size(); ++i) {
    if (!Assertion(vPeerIndex[i] < m_endpointVector.size(),
                   "vPeerIndex[i] < m_endpointVector.size()", getLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return false;
    }
    m_endpointVector[vPeerIndex[i]]->m_vRxPeerIndex.push_back(in_newEptId);
  }
  return true;
}

void MediaCallSM::unbindSelf(MediaCallSMEndpoint& io_endpoint, unsigned long in_uiIndex,
                             const char* in_szScope) {
  if (io_endpoint.m_redirectForkIndex.valid() &&
      io_endpoint.m_redirectForkIndex.getValue() == in_uiIndex) {
    OMVERA_LOG(getLogger(), LogLevel::WARN,
               in_szScope << " : ept" << in_uiIndex
                          << " names itself as the endpoint it is for; left unbound");
    io_endpoint.m_redirectForkIndex.invalidate();
  }
}

bool MediaCallSM::eptsFromSameEngine(const EndpointPtr& in_pEpt1,
                                     const EndpointPtr& in_pEpt2) const {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::eptsFromSameEngine");
  if (!Assertion(!in_pEpt1.isNull(), "! in_pEpt1.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (!Assertion(!in_pEpt2.isNull(), "! in_pEpt2.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  const EngineDataHash::const_iterator found =
      m_engineDataHash.find(in_pEpt1->m_pMediaEngineImpl);
  if (!Assertion(found != m_engineDataHash.end(), "found != m_engineDataHash.end()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  const IndexVector& vEptIndex = found->second.m_vEptIndex;
  for (unsigned long uiIndex : vEptIndex) {
    if (uiIndex == in_pEpt2->getEptIndex()) {
      OMVERA_LOG(getLogger(), LogLevel::DEBUG,
                 "Ept " << in_pEpt1->getEptIndex() << " and Ept " << in_pEpt2->getEptIndex()
                        << " are from the same engine");
      return true;
    }
  }
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "Ept " << in_pEpt1->getEptIndex() << " and Ept " << in_pEpt2->getEptIndex()
                    << " are NOT from the same engine");
  return false;
}

bool MediaCallSM::processSendPeerDataEvent(MediaEndpoint::Direction in_eDirection,
                                           MediaPeerData* in_pNewPeerData,
                                           EndpointPtr in_pSrcEndpoint) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::processSendPeerDataEvent");
  // Owned from here on: an early return deletes it with this handle.
  MediaCallEndpointData::PeerDataPtr pNewPeerData(in_pNewPeerData);
  if (!Assertion(!pNewPeerData.isNull(), "in_pNewPeerData != 0", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (!Assertion(!in_pSrcEndpoint.isNull(), "! in_pSrcEndpoint.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }

  in_pSrcEndpoint->setPeerData(in_eDirection, pNewPeerData.release());
  const MediaPeerData& peerData = *in_pSrcEndpoint->getPeerData(in_eDirection);

  ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
  // An undefined direction lists no peer (findPeers reports it and fills nothing).
  m_scratchEptIdVector.clear();
  in_pSrcEndpoint->findPeers(in_eDirection, m_scratchEptIdVector);
  bool bResult = true;
  for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
    if (!Assertion(m_scratchEptIdVector[i] < m_endpointVector.size(),
                   "m_scratchEptIdVector[i] < m_endpointVector.size()", getLogger(),
                   s_szMODULE_NAME, __LINE__)) {
      return false;
    }
    const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
    if (pPeer.isNull()) continue;
    if (!pPeer->sendPeerData(in_eDirection, peerData)) bResult = false;
  }
  return bResult;
}

bool MediaCallSM::sendPeerDataNewEndpoint(EndpointPtr in_pNewEndpoint) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaCallSM::sendPeerDataNewEndpoint");
  if (!Assertion(!in_pNewEndpoint.isNull(), "! in_pNewEndpoint.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }

  {
    // The Tx sides the new endpoint feeds: their data is for its Rx side.
    ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
    m_scratchEptIdVector.clear();
    in_pNewEndpoint->findPeers(MediaEndpoint::RX_DIRECTION, m_scratchEptIdVector);
    for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
      if (!Assertion(m_scratchEptIdVector[i] < m_endpointVector.size(),
                     "m_scratchEptIdVector[i] < m_endpointVector.size()", getLogger(),
                     s_szMODULE_NAME, __LINE__)) {
        return false;
      }
      const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
      if (pPeer.isNull() || pPeer->m_pTxPeerData.isNull()) continue;
      const MediaCallEndpointData::PeerDataPtr pPeerDataCopy(pPeer->m_pTxPeerData);
      if (!pPeerDataCopy.isNull()) {
        in_pNewEndpoint->sendPeerData(MediaEndpoint::TX_DIRECTION, *pPeerDataCopy);
      }
    }
  }
  {
    // The Rx sides feeding the new endpoint: their data is for its Tx side.
    ScratchMemberGuard scratchGuard(m_bScratchEptIdVectorInUse, s_szMODULE_NAME, __LINE__);
    m_scratchEptIdVector.clear();
    in_pNewEndpoint->findPeers(MediaEndpoint::TX_DIRECTION, m_scratchEptIdVector);
    for (std::size_t i = 0; i < m_scratchEptIdVector.size(); ++i) {
      if (!Assertion(m_scratchEptIdVector[i] < m_endpointVector.size(),
                     "m_scratchEptIdVector[i] < m_endpointVector.size()", getLogger(),
                     s_szMODULE_NAME, __LINE__)) {
        return false;
      }
      const EndpointPtr& pPeer = m_endpointVector[m_scratchEptIdVector[i]];
      if (pPeer.isNull() || pPeer->m_pRxPeerData.isNull()) continue;
      const MediaCallEndpointData::PeerDataPtr pPeerDataCopy(pPeer->m_pRxPeerData);
      if (!pPeerDataCopy.isNull()) {
        in_pNewEndpoint->sendPeerData(MediaEndpoint::RX_DIRECTION, *pPeerDataCopy);
      }
    }
  }
  // The deliveries' answers are not the new endpoint's concern.
  return true;
}

}  // namespace Omvera
