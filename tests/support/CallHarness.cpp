#include "support/CallHarness.h"

#include <utility>

#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"

namespace Omvera {
namespace Test {

namespace {

constexpr unsigned long s_ulEPT_PROXY_ID_BASE = 1000;
constexpr unsigned long s_ulCALLBACK_PROXY_ID_BASE = 2000;

std::string describe(unsigned long in_uiIndex, Op in_eOp, MediaEndpoint::Direction in_eDirection) {
  return "ept" + std::to_string(in_uiIndex) + " " + opName(in_eOp) + " " +
         MediaEndpoint::getDirectionString(in_eDirection);
}

}  // namespace

CallHarness::CallHarness(const std::string& in_strCallId, bool in_bQuiet)
    : m_bQuiet(in_bQuiet),
      m_strCallId(in_strCallId),
      m_pTask(new MediaEngineTask()) {
  m_pTask->setTimerScheduler(LimitedObjPtr<TimerScheduler>(&m_timers));
  m_pCall = m_pTask->createCall_i(m_strCallId.c_str());
  m_vAnswers.reserve(64);
}

CallHarness::~CallHarness() {
  // The task gives its calls back (killing what is not final) when it goes.
  m_pCall.reset();
  m_pTask.reset();
}

void CallHarness::reuse() {
  m_pCall.reset();
  m_pTask->releaseCall_i(m_strCallId.c_str());
  m_vEndpoints.clear();
  m_vAnswers.clear();
  m_uiNextAnswer = 0;
  m_pCall = m_pTask->createCall_i(m_strCallId.c_str());
}

FakeEngine& CallHarness::engine(std::size_t in_uiEngine) {
  while (m_vEngines.size() <= in_uiEngine) m_vEngines.emplace_back(new FakeEngine());
  return *m_vEngines[in_uiEngine];
}

unsigned long CallHarness::add(const std::string& in_strEptId, MediaEndpointSpec* in_pSpec,
                               std::size_t in_uiEngine, bool* out_pAdded) {
  const unsigned long uiIndex = m_vEndpoints.size();
  Endpoint endpoint;
  endpoint.m_strEptId = in_strEptId;
  endpoint.m_pEngineLog = std::make_shared<EngineLog>();
  endpoint.m_pEngineLog->m_bQuiet = m_bQuiet;
  endpoint.m_pCallbackLog = std::make_shared<CallbackLog>();
  endpoint.m_pCallbackLog->m_bQuiet = m_bQuiet;
  endpoint.m_pEngineEndpoint =
      new FakeEngineEndpoint(in_pSpec, in_strEptId.c_str(), uiIndex, endpoint.m_pEngineLog);
  FakeEngineEndpoint* pEngineEndpoint = endpoint.m_pEngineEndpoint;
  RecordingCallback* pCallback = new RecordingCallback(endpoint.m_pCallbackLog);
  m_vEndpoints.push_back(std::move(endpoint));
  const bool bAdded = m_pCall->addEndpoint(eptProxyData(uiIndex), pCallback,
                                           callbackProxyData(uiIndex), pEngineEndpoint,
                                           engine(in_uiEngine), in_strEptId.c_str());
  if (out_pAdded != nullptr) *out_pAdded = bAdded;
  drainAnswers();
  checkCount();
  return uiIndex;
}

unsigned long CallHarness::addRedirect(const std::string& in_strEptId,
                                       const std::string& in_strForEptId, std::size_t in_uiEngine) {
  return add(in_strEptId, new RedirectRxEndpointSpec(in_strForEptId), in_uiEngine);
}

unsigned long CallHarness::addFork(const std::string& in_strEptId, const std::string& in_strForEptId,
                                   std::size_t in_uiEngine) {
  return add(in_strEptId, new ForkTxEndpointSpec(in_strForEptId), in_uiEngine);
}

const EngineLog& CallHarness::engineLog(unsigned long in_uiIndex) const {
  return *m_vEndpoints.at(in_uiIndex).m_pEngineLog;
}

const CallbackLog& CallHarness::callbackLog(unsigned long in_uiIndex) const {
  return *m_vEndpoints.at(in_uiIndex).m_pCallbackLog;
}

FakeEngineEndpoint* CallHarness::engineEndpoint(unsigned long in_uiIndex) {
  const Endpoint& endpoint = m_vEndpoints.at(in_uiIndex);
  return endpoint.m_pEngineLog->m_bDestroyed ? nullptr : endpoint.m_pEngineEndpoint;
}

std::string CallHarness::state(unsigned long in_uiIndex,
                               MediaEndpoint::Direction in_eDirection) const {
  const MediaCallSMEndpoint& ept = endpoint(in_uiIndex);
  return in_eDirection == TX ? ept.getTxSM().getCurrentStateName()
                             : ept.getRxSM().getCurrentStateName();
}

MediaCallSMEndpoint& CallHarness::endpoint(unsigned long in_uiIndex) const {
  return *m_pCall->getEndpoint(in_uiIndex);
}

TaskObjectProxyData<MediaCallSM> CallHarness::eptProxyData(unsigned long in_uiIndex) const {
  return TaskObjectProxyData<MediaCallSM>(
      LimitedObjPtr<TaskObjectContainer<MediaCallSM>>(
          const_cast<NullCallContainer*>(&m_eptContainer)),
      s_ulEPT_PROXY_ID_BASE + in_uiIndex);
}

TaskObjectProxyData<MediaCallSM> CallHarness::callbackProxyData(unsigned long in_uiIndex) const {
  return TaskObjectProxyData<MediaCallSM>(
      LimitedObjPtr<TaskObjectContainer<MediaCallSM>>(
          const_cast<NullCallContainer*>(&m_callbackContainer)),
      s_ulCALLBACK_PROXY_ID_BASE + in_uiIndex);
}

// ---- user requests ----------------------------------------------------------------------

bool CallHarness::userRequest(unsigned long in_uiIndex, Op in_eOp,
                              MediaEndpoint::Direction in_eDirection, const MediaEvent& in_event) {
  if (!m_bQuiet) {
    Endpoint& endpoint = m_vEndpoints.at(in_uiIndex);
    const std::size_t uiReports = endpoint.m_pCallbackLog->m_vReports.size();
    if (in_eDirection == RXTX) {
      endpoint.m_vIssued.push_back(Issued{in_eOp, RX, uiReports, false});
      endpoint.m_vIssued.push_back(Issued{in_eOp, TX, uiReports, false});
    } else {
      endpoint.m_vIssued.push_back(Issued{in_eOp, in_eDirection, uiReports, false});
    }
  }
  return deliver(in_event);
}

bool CallHarness::configure(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                            MediaEndpointConfig* in_pConfig) {
  const TaskObjectProxyData<MediaCallSM> proxyData = eptProxyData(in_uiIndex);
  const ConfigureMediaEvent event(in_eDirection, proxyData.getObjContainer(),
                                  proxyData.getProxyID(), in_pConfig);
  return userRequest(in_uiIndex, Op::CONFIGURE, in_eDirection, event);
}

bool CallHarness::start(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection) {
  const ProxyMediaEvent event(MediaEvent::eSTART_ENDPOINT, in_eDirection, eptProxyData(in_uiIndex));
  return userRequest(in_uiIndex, Op::START, in_eDirection, event);
}

bool CallHarness::stop(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection) {
  const ProxyMediaEvent event(MediaEvent::eSTOP_ENDPOINT, in_eDirection, eptProxyData(in_uiIndex));
  return userRequest(in_uiIndex, Op::STOP, in_eDirection, event);
}

bool CallHarness::getCapacity(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection) {
  const ProxyMediaEvent event(MediaEvent::eGET_CAPACITY, in_eDirection, eptProxyData(in_uiIndex));
  return userRequest(in_uiIndex, Op::CAPACITY, in_eDirection, event);
}

bool CallHarness::outOfBand(unsigned long in_uiIndex, int in_iCode) {
  const TaskObjectProxyData<MediaCallSM> proxyData = eptProxyData(in_uiIndex);
  const HandleOOBMediaEvent event(RX, proxyData.getObjContainer(), proxyData.getProxyID(),
                                  in_iCode);
  return deliver(event);
}

void CallHarness::tearDown(unsigned long in_uiIndex) {
  Endpoint& endpoint = m_vEndpoints.at(in_uiIndex);
  for (Issued& issued : endpoint.m_vIssued) issued.m_bTornDownAfter = true;
  if (!endpoint.m_bTornDown) {
    endpoint.m_bTornDown = true;
    endpoint.m_uiReportsAtTeardown = endpoint.m_pCallbackLog->m_vReports.size();
  }
}

bool CallHarness::destroy(unsigned long in_uiIndex) {
  tearDown(in_uiIndex);
  const ProxyMediaEvent event(MediaEvent::eMEDIA_PROXY_DTOR, RXTX, eptProxyData(in_uiIndex));
  return deliver(event);
}

bool CallHarness::stopCall() {
  for (unsigned long uiIndex = 0; uiIndex < m_vEndpoints.size(); ++uiIndex) tearDown(uiIndex);
  const bool bResult = m_pCall->stop();
  drainAnswers();
  checkCount();
  return bResult;
}

bool CallHarness::killCall() {
  for (unsigned long uiIndex = 0; uiIndex < m_vEndpoints.size(); ++uiIndex) tearDown(uiIndex);
  const bool bResult = m_pCall->kill();
  drainAnswers();
  checkCount();
  return bResult;
}

// ---- engine reports -----------------------------------------------------------------------

bool CallHarness::opStatus(unsigned long in_uiIndex, MediaEvent::Type in_eType,
                           MediaEndpoint::Direction in_eDirection,
                           MediaEndpointCallback::EptOpStatus in_eStatus) {
  const TaskObjectProxyData<MediaCallSM> proxyData = callbackProxyData(in_uiIndex);
  const OpStatusMediaEvent event(in_eType, in_eDirection, proxyData.getObjContainer(),
                                 proxyData.getProxyID(), in_eStatus);
  return deliver(event);
}

bool CallHarness::configureStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                                  MediaEndpointCallback::EptOpStatus in_eStatus) {
  return opStatus(in_uiIndex, MediaEvent::eCONFIGURE_STATUS, in_eDirection, in_eStatus);
}

bool CallHarness::startStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                              MediaEndpointCallback::EptOpStatus in_eStatus) {
  return opStatus(in_uiIndex, MediaEvent::eSTART_ENDPOINT_STATUS, in_eDirection, in_eStatus);
}

bool CallHarness::stopStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                             MediaEndpointCallback::EptOpStatus in_eStatus) {
  return opStatus(in_uiIndex, MediaEvent::eSTOP_ENDPOINT_STATUS, in_eDirection, in_eStatus);
}

bool CallHarness::setCapacity(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                              MediaEndpointCapacity* in_pCapacity) {
  const TaskObjectProxyData<MediaCallSM> proxyData = callbackProxyData(in_uiIndex);
  const SetCapacityMediaEvent event(in_eDirection, proxyData.getObjContainer(),
                                    proxyData.getProxyID(), in_pCapacity);
  return deliver(event);
}

bool CallHarness::capacityFailure(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection) {
  const ProxyMediaEvent event(MediaEvent::eGET_CAPACITY_FAILURE, in_eDirection,
                              callbackProxyData(in_uiIndex));
  return deliver(event);
}

bool CallHarness::notify(unsigned long in_uiIndex, MediaNotificationEvent* in_pEvent) {
  const TaskObjectProxyData<MediaCallSM> proxyData = callbackProxyData(in_uiIndex);
  const MediaEndpoint::Direction eDirection =
      in_pEvent != nullptr ? in_pEvent->getDirection() : MediaEndpoint::UNDEF_DIRECTION;
  const MediaEngineNotificationEvent event(eDirection, proxyData.getObjContainer(),
                                           proxyData.getProxyID(), in_pEvent);
  return deliver(event);
}

bool CallHarness::sendPeerData(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                               MediaPeerData* in_pPeerData) {
  const TaskObjectProxyData<MediaCallSM> proxyData = callbackProxyData(in_uiIndex);
  const PeerDataMediaEvent event(in_eDirection, proxyData.getObjContainer(),
                                 proxyData.getProxyID(), in_pPeerData);
  return deliver(event);
}

// ---- delivery, time, automatic answers -------------------------------------------------------

bool CallHarness::deliver(const MediaEvent& in_event) {
  const bool bResult = m_pCall->processEvent(in_event);
  drainAnswers();
  checkCount();
  return bResult;
}

std::size_t CallHarness::advanceMs(long in_lMilliseconds) {
  ACE_Time_Value delta;
  delta.msec(in_lMilliseconds);
  const std::size_t uiFired = m_timers.advance(delta);
  drainAnswers();
  checkCount();
  return uiFired;
}

void CallHarness::setAutoAnswer(unsigned long in_uiIndex,
                                MediaEndpointCallback::EptOpStatus in_eStatus) {
  if (FakeEngineEndpoint* pEndpoint = engineEndpoint(in_uiIndex)) {
    pEndpoint->setAutoAnswer(this, in_eStatus);
  }
}

void CallHarness::autoAnswer(unsigned long in_uiEptIndex, Op in_eOp,
                             MediaEndpoint::Direction in_eDirection,
                             MediaEndpointCallback::EptOpStatus in_eStatus) {
  m_vAnswers.push_back(Answer{in_uiEptIndex, in_eOp, in_eDirection, in_eStatus});
}

void CallHarness::drainAnswers() {
  if (m_bDraining) return;
  m_bDraining = true;
  while (m_uiNextAnswer < m_vAnswers.size()) {
    const Answer answer = m_vAnswers[m_uiNextAnswer++];
    if (answer.m_eOp == Op::CAPACITY && answer.m_eStatus == OK) {
      setCapacity(answer.m_uiIndex, answer.m_eDirection, nullptr);
    } else if (answer.m_eOp == Op::CAPACITY) {
      capacityFailure(answer.m_uiIndex, answer.m_eDirection);
    } else if (answer.m_eOp == Op::CONFIGURE || answer.m_eOp == Op::START || answer.m_eOp == Op::STOP) {
      opStatus(answer.m_uiIndex,
               answer.m_eOp == Op::CONFIGURE ? MediaEvent::eCONFIGURE_STATUS
               : answer.m_eOp == Op::START   ? MediaEvent::eSTART_ENDPOINT_STATUS
                                             : MediaEvent::eSTOP_ENDPOINT_STATUS,
               answer.m_eDirection, answer.m_eStatus);
    }
  }
  m_vAnswers.clear();
  m_uiNextAnswer = 0;
  m_bDraining = false;
}

void CallHarness::checkCount() {
  if (m_pCall->getNumEptInFinalState() > m_pCall->numEndpoint()) m_bCountExceeded = true;
}

// ---- the books ------------------------------------------------------------------------------

std::vector<std::string> CallHarness::contractViolations() const {
  std::vector<std::string> vViolations;
  if (m_bCountExceeded) {
    vViolations.push_back("the call counted more final endpoints than it has");
  }
  if (m_bQuiet) return vViolations;
  static const Op s_aOps[] = {Op::CAPACITY, Op::CONFIGURE, Op::START, Op::STOP};
  static const MediaEndpoint::Direction s_aDirections[] = {RX, TX};
  for (unsigned long uiIndex = 0; uiIndex < m_vEndpoints.size(); ++uiIndex) {
    const Endpoint& endpoint = m_vEndpoints[uiIndex];
    const std::vector<Report>& vReports = endpoint.m_pCallbackLog->m_vReports;
    for (const Op eOp : s_aOps) {
      for (const MediaEndpoint::Direction eDirection : s_aDirections) {
        // Requests and reports of this kind and direction, matched in order.
        std::vector<const Issued*> vIssued;
        for (const Issued& issued : endpoint.m_vIssued) {
          if (issued.m_eOp == eOp && issued.m_eDirection == eDirection) vIssued.push_back(&issued);
        }
        std::vector<std::size_t> vReportPos;
        for (std::size_t uiPos = 0; uiPos < vReports.size(); ++uiPos) {
          if (vReports[uiPos].m_eOp == eOp && vReports[uiPos].m_eDirection == eDirection) {
            vReportPos.push_back(uiPos);
          }
        }
        const std::string strWhat = describe(uiIndex, eOp, eDirection);
        std::size_t uiMatched = 0;
        for (; uiMatched < vIssued.size() && uiMatched < vReportPos.size(); ++uiMatched) {
          if (vReportPos[uiMatched] < vIssued[uiMatched]->m_uiReportsBefore) {
            vViolations.push_back(strWhat + ": a report came before its request");
          }
        }
        for (std::size_t uiPos = uiMatched; uiPos < vIssued.size(); ++uiPos) {
          if (!vIssued[uiPos]->m_bTornDownAfter) {
            vViolations.push_back(strWhat + ": request #" + std::to_string(uiPos + 1) +
                                  " never got a report");
          }
        }
        for (std::size_t uiPos = uiMatched; uiPos < vReportPos.size(); ++uiPos) {
          if (!endpoint.m_bTornDown || vReportPos[uiPos] < endpoint.m_uiReportsAtTeardown) {
            vViolations.push_back(strWhat + ": report #" + std::to_string(uiPos + 1) +
                                  " answers no request");
          }
        }
      }
    }
  }
  return vViolations;
}

}  // namespace Test
}  // namespace Omvera
