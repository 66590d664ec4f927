#include "support/TestEngine.h"

#include <utility>
#include <vector>

#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEngEptCallbackProxy.h"

namespace Omvera {
namespace Test {

namespace {

int indexOf(Op in_eOp) { return static_cast<int>(in_eOp); }

bool isAnswered(Op in_eOp) {
  return in_eOp == Op::CAPACITY || in_eOp == Op::CONFIGURE || in_eOp == Op::START ||
         in_eOp == Op::STOP;
}

}  // namespace

// The engine thread: a task whose real timers carry the answers; it is also the processor
// of those timers.
class TestEngine::EngineThread : public StaticReactorTaskImpl, public TimeoutProcessor {
 public:
  explicit EngineThread(TestEngine& in_engine) : m_engine(in_engine) {
    setTaskName("Test Engine Thread");
  }
  ~EngineThread() override { killAndWait(); }

  bool processTimeout(const ACE_Time_Value& /*in_now*/, const TimeoutData* in_pData) override {
    m_engine.answerDue(in_pData);
    return true;
  }

 private:
  TestEngine& m_engine;
};

// One answer waiting for its timer; its address is the timer's identity.
struct TestEngine::PendingAnswer : public TimeoutData {
  PendingAnswer(std::shared_ptr<TestEndpointLink> in_pLink, Op in_eOp,
                MediaEndpoint::Direction in_eDirection,
                MediaEndpointCallback::EptOpStatus in_eStatus)
      : m_pLink(std::move(in_pLink)), m_eOp(in_eOp), m_eDirection(in_eDirection),
        m_eStatus(in_eStatus) {}

  std::shared_ptr<TestEndpointLink> m_pLink;
  Op m_eOp;
  MediaEndpoint::Direction m_eDirection;
  MediaEndpointCallback::EptOpStatus m_eStatus;
  long m_lTimerId = -1;  // -1 until armed
};

// TestEngineEndpoint -------------------------------------------------------------------

TestEngineEndpoint::TestEngineEndpoint(TestEngine& in_engine, MediaEndpointSpec* in_pSpec,
                                       const char* in_szEptId,
                                       MediaEngineEndpointCallback* in_pCallback,
                                       const Behaviour* in_aBehaviours)
    : MediaEngineEndpointImpl(in_pSpec, in_szEptId),
      m_engine(in_engine),
      m_pLink(std::make_shared<TestEndpointLink>()) {
  m_pLink->m_pCallback = in_pCallback;
  for (int i = 0; i < 4; ++i) m_aBehaviours[i] = in_aBehaviours[i];
  ++m_engine.m_ullEndpointsCreated;
  ++m_engine.m_ullEndpointsAlive;
}

TestEngineEndpoint::~TestEngineEndpoint() {
  MediaEngineEndpointCallback* pCallback = nullptr;
  {
    // Waits for an answer being sent; every later one finds the link empty.
    const std::lock_guard<std::mutex> lock(m_pLink->m_mutex);
    pCallback = m_pLink->m_pCallback;
    m_pLink->m_pCallback = nullptr;
  }
  m_engine.cancelAnswers(m_pLink.get());
  delete pCallback;
  --m_engine.m_ullEndpointsAlive;
}

bool TestEngineEndpoint::request(Op in_eOp, Direction in_eDirection) {
  ++m_engine.m_ullRequests;
  const Behaviour& behaviour = m_aBehaviours[indexOf(in_eOp)];
  switch (behaviour.m_eAnswer) {
    case Behaviour::REFUSE:
      ++m_engine.m_ullRefused;
      return false;
    case Behaviour::NEVER:
      return true;
    case Behaviour::TWICE:
      m_engine.scheduleAnswer(m_pLink, in_eOp, in_eDirection, behaviour);
      m_engine.scheduleAnswer(m_pLink, in_eOp, in_eDirection, behaviour);
      return true;
    case Behaviour::ONCE:
      break;
  }
  m_engine.scheduleAnswer(m_pLink, in_eOp, in_eDirection, behaviour);
  return true;
}

bool TestEngineEndpoint::getCapacity(Direction in_eDirection) {
  return request(Op::CAPACITY, in_eDirection);
}

bool TestEngineEndpoint::configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) {
  delete in_pConfig;
  return request(Op::CONFIGURE, in_eDirection);
}

bool TestEngineEndpoint::start(Direction in_eDirection) {
  return request(Op::START, in_eDirection);
}

bool TestEngineEndpoint::stop(Direction in_eDirection) { return request(Op::STOP, in_eDirection); }

// TestEngine ---------------------------------------------------------------------------

TestEngine::TestEngine() : m_pThread(new EngineThread(*this)) { m_pThread->start(); }

TestEngine::~TestEngine() {
  // No timer may fire once the pending answers go.
  m_pThread.reset();
}

void TestEngine::setBehaviour(Op in_eOp, const Behaviour& in_behaviour) {
  if (!isAnswered(in_eOp)) return;
  const std::lock_guard<std::mutex> lock(m_behaviourMutex);
  m_aBehaviours[indexOf(in_eOp)] = in_behaviour;
}

void TestEngine::setBehaviour(const std::string& in_strEptId, Op in_eOp,
                              const Behaviour& in_behaviour) {
  if (!isAnswered(in_eOp)) return;
  const std::lock_guard<std::mutex> lock(m_behaviourMutex);
  m_eptBehaviours[in_strEptId][indexOf(in_eOp)] = in_behaviour;
}

TestEngineCounts TestEngine::counts() const {
  TestEngineCounts counts;
  counts.m_ullRequests = m_ullRequests.load();
  counts.m_ullRefused = m_ullRefused.load();
  counts.m_ullAnswersScheduled = m_ullAnswersScheduled.load();
  counts.m_ullAnswersSent = m_ullAnswersSent.load();
  counts.m_ullAnswersCancelled = m_ullAnswersCancelled.load();
  counts.m_ullEndpointsCreated = m_ullEndpointsCreated.load();
  counts.m_ullEndpointsAlive = m_ullEndpointsAlive.load();
  return counts;
}

MediaEngineEndpointNoT* TestEngine::createEngineEndpoint(const char* /*in_szCallId*/,
                                                         unsigned long /*in_uiEptIndex*/,
                                                         MediaEngEptCallbackProxy* in_pCallback,
                                                         MediaEndpointSpec* in_pSpec,
                                                         const char* in_szEptId) {
  Behaviour aBehaviours[4];
  {
    const std::lock_guard<std::mutex> lock(m_behaviourMutex);
    for (int i = 0; i < 4; ++i) aBehaviours[i] = m_aBehaviours[i];
    const auto found = m_eptBehaviours.find(in_szEptId != nullptr ? in_szEptId : "");
    if (found != m_eptBehaviours.end()) {
      for (const auto& entry : found->second) aBehaviours[entry.first] = entry.second;
    }
  }
  return new TestEngineEndpoint(*this, in_pSpec, in_szEptId, in_pCallback, aBehaviours);
}

bool TestEngine::deliverPeerData(MediaEngineEndpointNoT& /*in_engineEndpoint*/,
                                 MediaEndpoint::Direction /*in_eDirection*/,
                                 const MediaPeerData& /*in_peerData*/) {
  return true;
}

void TestEngine::scheduleAnswer(const std::shared_ptr<TestEndpointLink>& in_pLink, Op in_eOp,
                                MediaEndpoint::Direction in_eDirection,
                                const Behaviour& in_behaviour) {
  ++m_ullAnswersScheduled;
  auto pAnswer = std::make_unique<PendingAnswer>(in_pLink, in_eOp, in_eDirection,
                                                 in_behaviour.m_eStatus);
  PendingAnswer* pKey = pAnswer.get();
  {
    const std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pending.emplace(pKey, std::move(pAnswer));
  }
  // The timer may fire before the id is stored: the answer then is gone from the table.
  ACE_Time_Value delay;
  delay.msec(static_cast<long>(in_behaviour.m_delay.count()));
  const long lTimerId = m_pThread->scheduleTimer(m_pThread.get(), pKey, delay);
  const std::lock_guard<std::mutex> lock(m_pendingMutex);
  const auto found = m_pending.find(pKey);
  if (found == m_pending.end()) return;
  if (lTimerId == -1) {
    // The engine thread no longer runs timers: the answer never goes out.
    m_pending.erase(found);
    ++m_ullAnswersCancelled;
    return;
  }
  found->second->m_lTimerId = lTimerId;
}

void TestEngine::cancelAnswers(const TestEndpointLink* in_pLink) {
  std::vector<std::pair<const TimeoutData*, long>> vArmed;
  {
    const std::lock_guard<std::mutex> lock(m_pendingMutex);
    for (const auto& entry : m_pending) {
      if (entry.second->m_pLink.get() == in_pLink && entry.second->m_lTimerId != -1) {
        vArmed.emplace_back(entry.first, entry.second->m_lTimerId);
      }
    }
  }
  // Outside the lock: a timer that fires meanwhile is not cancelled and finds the link
  // empty instead.
  for (const auto& armed : vArmed) {
    if (!m_pThread->cancelTimer(armed.second, armed.first)) continue;
    const std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pending.erase(armed.first);
    ++m_ullAnswersCancelled;
  }
}

void TestEngine::answerDue(const TimeoutData* in_pData) {
  std::unique_ptr<PendingAnswer> pAnswer;
  {
    const std::lock_guard<std::mutex> lock(m_pendingMutex);
    const auto found = m_pending.find(in_pData);
    if (found == m_pending.end()) return;
    pAnswer = std::move(found->second);
    m_pending.erase(found);
  }
  const std::lock_guard<std::mutex> lock(pAnswer->m_pLink->m_mutex);
  MediaEngineEndpointCallback* pCallback = pAnswer->m_pLink->m_pCallback;
  if (pCallback == nullptr) {
    ++m_ullAnswersCancelled;
    return;
  }
  const MediaEndpoint::Direction eDirection = pAnswer->m_eDirection;
  const MediaEndpointCallback::EptOpStatus eStatus = pAnswer->m_eStatus;
  switch (pAnswer->m_eOp) {
    case Op::CAPACITY:
      if (eStatus == MediaEndpointCallback::EPT_OP_OK) {
        pCallback->setCapacity(eDirection, nullptr);
      } else {
        pCallback->getCapacityFailure(eDirection);
      }
      break;
    case Op::CONFIGURE:
      pCallback->configureStatus(eDirection, eStatus);
      break;
    case Op::START:
      pCallback->startStatus(eDirection, eStatus);
      break;
    default:
      pCallback->stopStatus(eDirection, eStatus);
      break;
  }
  ++m_ullAnswersSent;
}

}  // namespace Test
}  // namespace Omvera
