// Endpoint proxies end to end on real threads: caller threads drive endpoints of the engine
// task while a test engine answers from a thread of its own, late, never, twice or not at
// all. Every test ends with every call and endpoint back in the task's pools, every engine
// endpoint gone and every request accounted for.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LogCapture.h"
#include "support/TaskTestSupport.h"
#include "support/TestEngine.h"
#include "support/Wait.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/ManualTimerScheduler.h"

namespace Omvera {
namespace {

using Test::Behaviour;
using Test::LogCapture;
using Test::Op;
using Test::TestEngine;
using EngineCounts = Test::TestEngineCounts;
using Test::runOnTask;
using Test::waitFor;

constexpr MediaEndpoint::Direction RX = MediaEndpoint::RX_DIRECTION;
constexpr MediaEndpoint::Direction TX = MediaEndpoint::TX_DIRECTION;
constexpr const char* s_szSM_LOGGER = "tidewave.media.EndpointSM";

using EndpointPtr = std::unique_ptr<MediaEndpoint>;

// The reports of one endpoint as "<op> <DIR> <STATUS>" lines. Written on the engine task
// thread, read from any thread.
class ReportLog {
 public:
  void add(const std::string& in_strLine) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_vLines.push_back(in_strLine);
  }
  std::vector<std::string> lines() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_vLines;
  }
  // The lines of in_eDirection only.
  std::vector<std::string> linesOf(MediaEndpoint::Direction in_eDirection) const {
    const std::string strDirection = MediaEndpoint::getDirectionString(in_eDirection);
    std::vector<std::string> vLines;
    for (const std::string& strLine : lines()) {
      if (strLine.find(strDirection) != std::string::npos) vLines.push_back(strLine);
    }
    return vLines;
  }
  bool waitLines(std::size_t in_uiCount) const {
    return waitFor([&] { return lines().size() >= in_uiCount; });
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_vLines;
};

class LoggingCallback : public MediaEndpointCallback {
 public:
  explicit LoggingCallback(std::shared_ptr<ReportLog> in_pLog) : m_pLog(std::move(in_pLog)) {}

  bool setCapacity(MediaEndpoint::Direction in_eDirection,
                   MediaEndpointCapacity* in_pCapacity) override {
    const std::unique_ptr<MediaEndpointCapacity> pCapacity(in_pCapacity);
    return add("capacity", in_eDirection, EPT_OP_OK);
  }
  bool getCapacityFailure(MediaEndpoint::Direction in_eDirection) override {
    return add("capacity", in_eDirection, EPT_OP_FAILED);
  }
  bool configureStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return add("configure", in_eDirection, in_eStatus);
  }
  bool startStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return add("start", in_eDirection, in_eStatus);
  }
  bool stopStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return add("stop", in_eDirection, in_eStatus);
  }
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override;

 private:
  bool add(const char* in_szOp, MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) {
    m_pLog->add(std::string(in_szOp) + " " + MediaEndpoint::getDirectionString(in_eDirection) +
                " " + getOpStatusString(in_eStatus));
    return true;
  }
  std::shared_ptr<ReportLog> m_pLog;
};

bool LoggingCallback::notifyEvent(MediaNotificationEvent* in_pEvent) {
  delete in_pEvent;
  m_pLog->add("notification");
  return true;
}

std::string line(const char* in_szOp, MediaEndpoint::Direction in_eDirection, bool in_bOk = true) {
  return std::string(in_szOp) + " " + MediaEndpoint::getDirectionString(in_eDirection) +
         (in_bOk ? " EPT_OP_OK" : " EPT_OP_FAILED");
}

ACE_Time_Value msec(long in_lMs) {
  ACE_Time_Value value;
  value.msec(in_lMs);
  return value;
}

Behaviour answer(Behaviour::Answer in_eAnswer, int in_iDelayMs = 0) {
  Behaviour behaviour;
  behaviour.m_eAnswer = in_eAnswer;
  behaviour.m_delay = std::chrono::milliseconds(in_iDelayMs);
  return behaviour;
}

// The engine answers from its own thread; the endpoint states' timers run on a manual
// scheduler that is only moved on the task thread.
class EndpointProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_task.setTimerScheduler(LimitedObjPtr<TimerScheduler>(&m_timers));
    ASSERT_TRUE(m_task.start());
  }
  // Every test ends with everything given back and every request accounted for.
  void TearDown() override {
    EXPECT_TRUE(waitFor([&] { return taskCounts()[0] == 0; })) << "calls left in the table";
    const std::vector<std::uint64_t> vCounts = taskCounts();
    EXPECT_EQ(vCounts[1], vCounts[2]) << "calls made, calls idle in the pool";
    EXPECT_EQ(vCounts[3], vCounts[4]) << "endpoints made, endpoints idle in the pool";
    EXPECT_TRUE(waitFor([&] { return m_engine.counts().m_ullEndpointsAlive == 0; }));
    const EngineCounts engine = m_engine.counts();
    EXPECT_EQ(engine.m_ullAnswersScheduled, engine.m_ullAnswersSent + engine.m_ullAnswersCancelled)
        << "answers left pending";
    const RequestLedger::Counts ledger = m_task.getLedgerSnapshot().m_requests;
    EXPECT_TRUE(ledger.balanced()) << ledger.m_ullReceived << " received, "
                                   << ledger.m_ullDelivered << " delivered, "
                                   << ledger.m_ullEndedByTeardown << " ended by teardown";
  }

  // Any thread.
  EndpointPtr endpoint(const std::string& in_strCallId, const std::string& in_strEptId,
                       const std::shared_ptr<ReportLog>& in_pLog) {
    return EndpointPtr(m_task.getEndpoint(m_engine, new LoggingCallback(in_pLog),
                                          in_strCallId.c_str(), in_strEptId.c_str(), nullptr));
  }
  // Read on the task thread: calls in the table, calls made by the pool and idle in it,
  // endpoints made by the pool and idle in it (all ~0 when the task did not run the read).
  std::vector<std::uint64_t> taskCounts() {
    std::vector<std::uint64_t> vCounts(5, ~std::uint64_t(0));
    runOnTask(m_task, [&] {
      vCounts = {m_task.getNumCalls(), m_task.getCallPool().getNumNewObject(),
                 m_task.getCallPool().getNumUnusedObject(),
                 m_task.getEndpointPool().getNumNewObject(),
                 m_task.getEndpointPool().getNumUnusedObject()};
    });
    return vCounts;
  }
  void advanceTimers(const ACE_Time_Value& in_delta) {
    ASSERT_TRUE(runOnTask(m_task, [&] { m_timers.advance(in_delta); }));
  }
  // Everything queued to the task so far has been served.
  void drainTask() { ASSERT_TRUE(runOnTask(m_task, [] {})); }
  void setEngineDelays(int in_iDelayMs) {
    for (Op eOp : {Op::CAPACITY, Op::CONFIGURE, Op::START, Op::STOP}) {
      m_engine.setBehaviour(eOp, answer(Behaviour::ONCE, in_iDelayMs));
    }
  }

  // Declared in this order: the engine and the timers outlive the task's calls.
  TestEngine m_engine;
  ManualTimerScheduler m_timers;
  MediaEngineTask m_task;
};

// ---- the life of an endpoint, driven from caller threads -------------------------------

TEST_F(EndpointProxyTest, ATwoEndpointCallDrivenFromACallerThreadReportsInOrderOnBothEndpoints) {
  setEngineDelays(2);
  auto pLogA = std::make_shared<ReportLog>();
  auto pLogB = std::make_shared<ReportLog>();
  std::vector<bool> vWaits;
  std::thread caller([&] {
    EndpointPtr pA = endpoint("call-1", "a", pLogA);
    EndpointPtr pB = endpoint("call-1", "b", pLogB);
    for (MediaEndpoint* pEpt : {pA.get(), pB.get()}) {
      pEpt->configure(RX, nullptr);
      pEpt->configure(TX, nullptr);
      pEpt->start(RX);
      pEpt->start(TX);  // waits for the other endpoint's Rx side, which feeds it
    }
    // A stop would cancel a Tx start still waiting for its feeder.
    vWaits.push_back(pLogA->waitLines(4) && pLogB->waitLines(4));
    for (MediaEndpoint* pEpt : {pA.get(), pB.get()}) pEpt->stop(TX);
    for (MediaEndpoint* pEpt : {pA.get(), pB.get()}) pEpt->stop(RX);
    vWaits.push_back(pLogA->waitLines(6) && pLogB->waitLines(6));
  });
  caller.join();
  EXPECT_EQ((std::vector<bool>{true, true}), vWaits);

  for (const auto& pLog : {pLogA, pLogB}) {
    for (MediaEndpoint::Direction eDirection : {RX, TX}) {
      EXPECT_EQ((std::vector<std::string>{line("configure", eDirection), line("start", eDirection),
                                          line("stop", eDirection)}),
                pLog->linesOf(eDirection));
    }
  }
  const EngineCounts engine = m_engine.counts();
  EXPECT_EQ(12u, engine.m_ullRequests);
  EXPECT_EQ(12u, engine.m_ullAnswersSent);
  EXPECT_EQ(2u, engine.m_ullEndpointsCreated);
  ASSERT_TRUE(waitFor([&] { return taskCounts()[0] == 0; }));
  EXPECT_EQ((std::vector<std::uint64_t>{0, 1, 1, 2, 2}), taskCounts());
  EXPECT_EQ(12u, m_task.getLedgerSnapshot().m_requests.m_ullDelivered);
}

TEST_F(EndpointProxyTest, ConcurrentCallerThreadsEachKeepTheOrderOfTheirProxiesReports) {
  constexpr int s_iTHREADS = 4;
  constexpr int s_iENDPOINTS = 25;
  // Answers come late by 0 to 3 ms, differently for neighbouring endpoints.
  for (int iThread = 0; iThread < s_iTHREADS; ++iThread) {
    for (int iEpt = 0; iEpt < s_iENDPOINTS; ++iEpt) {
      const std::string strEptId = "t" + std::to_string(iThread) + "-e" + std::to_string(iEpt);
      for (Op eOp : {Op::CONFIGURE, Op::START, Op::STOP}) {
        m_engine.setBehaviour(strEptId, eOp, answer(Behaviour::ONCE, (iEpt + iThread) % 4));
      }
    }
  }
  std::atomic<int> iOutOfOrder{0};
  std::atomic<int> iTimedOut{0};
  std::vector<std::thread> vThreads;
  for (int iThread = 0; iThread < s_iTHREADS; ++iThread) {
    vThreads.emplace_back([&, iThread] {
      const std::string strThread = "t" + std::to_string(iThread);
      std::vector<std::shared_ptr<ReportLog>> vLogs;
      std::vector<EndpointPtr> vEndpoints;
      for (int iEpt = 0; iEpt < s_iENDPOINTS; ++iEpt) {
        vLogs.push_back(std::make_shared<ReportLog>());
        // Two endpoints per call.
        vEndpoints.push_back(endpoint(strThread + "-c" + std::to_string(iEpt / 2),
                                      strThread + "-e" + std::to_string(iEpt), vLogs.back()));
        MediaEndpoint& ept = *vEndpoints.back();
        // Each request is issued before the previous one was answered.
        ept.configure(RX, nullptr);
        ept.start(RX);
        ept.stop(RX);
        ept.configure(TX, nullptr);
      }
      for (const auto& pLog : vLogs) {
        if (!pLog->waitLines(4)) ++iTimedOut;
        if (pLog->linesOf(RX) != std::vector<std::string>{line("configure", RX),
                                                          line("start", RX), line("stop", RX)} ||
            pLog->linesOf(TX) != std::vector<std::string>{line("configure", TX)}) {
          ++iOutOfOrder;
        }
      }
    });
  }
  for (std::thread& thread : vThreads) thread.join();
  EXPECT_EQ(0, iTimedOut.load());
  EXPECT_EQ(0, iOutOfOrder.load());
  EXPECT_EQ(400u, m_engine.counts().m_ullAnswersSent);
  const RequestLedger::Counts ledger = m_task.getLedgerSnapshot().m_requests;
  EXPECT_EQ(400u, ledger.m_ullReceived);
  EXPECT_EQ(400u, ledger.m_ullDelivered);
}

// ---- teardown while the engine still owes an answer ------------------------------------

TEST_F(EndpointProxyTest, AProxyDestroyedWithItsStartPendingTearsDownAndTheCallIsReused) {
  // The start's answer would come in an hour: the endpoint's deletion cancels it.
  m_engine.setBehaviour("a", Op::START, answer(Behaviour::ONCE, 3600 * 1000));
  auto pLog = std::make_shared<ReportLog>();
  EndpointPtr pA = endpoint("call-1", "a", pLog);
  pA->configure(RX, nullptr);
  pA->start(RX);
  ASSERT_TRUE(waitFor([&] { return m_engine.counts().m_ullRequests == 2; }));
  pA.reset();

  // The engine endpoint is stopped; its stop status ends the teardown, the start gets none.
  ASSERT_TRUE(waitFor([&] { return taskCounts()[0] == 0; }));
  EXPECT_EQ((std::vector<std::string>{line("configure", RX), line("stop", RX)}), pLog->lines());
  const EngineCounts engine = m_engine.counts();
  EXPECT_EQ(0u, engine.m_ullEndpointsAlive);
  EXPECT_EQ(1u, engine.m_ullAnswersCancelled);
  // The configure was answered; the start ended with the teardown, whose stop report
  // answers no request of the user's.
  const RequestLedger::Counts ledger = m_task.getLedgerSnapshot().m_requests;
  EXPECT_EQ(2u, ledger.m_ullReceived);
  EXPECT_EQ(1u, ledger.m_ullDelivered);
  EXPECT_EQ(1u, ledger.m_ullEndedByTeardown);

  // A new call id gets the pooled call and endpoint.
  auto pLog2 = std::make_shared<ReportLog>();
  EndpointPtr pB = endpoint("call-2", "b", pLog2);
  pB->configure(RX, nullptr);
  ASSERT_TRUE(pLog2->waitLines(1));
  EXPECT_EQ((std::vector<std::uint64_t>{1, 1, 0, 1, 0}), taskCounts());
}

TEST_F(EndpointProxyTest, ProxiesDestroyedWhileTheEngineAnswersLoseNothingAndLeakNothing) {
  // Answers fall due around the time the endpoints are torn down.
  setEngineDelays(1);
  for (int iRound = 0; iRound < 40; ++iRound) {
    auto pLog = std::make_shared<ReportLog>();
    EndpointPtr pA = endpoint("call-" + std::to_string(iRound % 5), "a", pLog);
    pA->configure(RX, nullptr);
    pA->start(RX);
    if (iRound % 2 == 0) {
      ASSERT_TRUE(waitFor([&] { return !pLog->lines().empty(); }));
    }
  }
  // TearDown checks that every answer was sent or cancelled and every call came back.
}

// ---- engines that misbehave --------------------------------------------------------------

// An Rx endpoint is configured, started and stopped up to the request the engine treats
// as the row says; the user gets the reports listed, and the state machine logs one line.
struct MisbehaviourRow {
  const char* m_szName;
  Op m_eOp;
  Behaviour::Answer m_eAnswer;
  int m_iTimeoutMs;  // NEVER: the state's timeout, driven on the task thread
  std::vector<std::string> m_vReports;
  int m_iLevel;
  std::string m_strLogLine;
};

TEST_F(EndpointProxyTest, RefusedUnansweredAndTwiceAnsweredRequestsEachGetOneReport) {
  const std::vector<MisbehaviourRow> vRows = {
      {"refused-configure", Op::CONFIGURE, Behaviour::REFUSE, 0,
       {line("configure", RX, false)}, LogLevel::ERROR, "engine ept configure failed"},
      {"refused-start", Op::START, Behaviour::REFUSE, 0,
       {line("configure", RX), line("start", RX, false)}, LogLevel::ERROR,
       "engine ept start failed"},
      {"refused-stop", Op::STOP, Behaviour::REFUSE, 0,
       {line("configure", RX), line("start", RX), line("stop", RX, false)}, LogLevel::ERROR,
       "engine ept stop failed"},
      {"silent-configure", Op::CONFIGURE, Behaviour::NEVER, 300000,
       {line("configure", RX, false)}, LogLevel::ERROR, "timeout in state INITIAL_CONFIGURATION"},
      {"silent-start", Op::START, Behaviour::NEVER, 5000,
       {line("configure", RX), line("start", RX, false)}, LogLevel::ERROR,
       "timeout in state STARTING"},
      {"silent-stop", Op::STOP, Behaviour::NEVER, 300000,
       {line("configure", RX), line("start", RX), line("stop", RX, false)}, LogLevel::ERROR,
       "timeout (300000ms) in state STOPPING"},
      {"twice-configure", Op::CONFIGURE, Behaviour::TWICE, 0, {line("configure", RX)},
       LogLevel::WARN,
       "eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_OK : no request is waiting for this status, "
       "dropped"},
      {"twice-start", Op::START, Behaviour::TWICE, 0, {line("configure", RX), line("start", RX)},
       LogLevel::WARN,
       "eSTART_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK : no request is waiting for this "
       "status, dropped"},
      {"twice-stop", Op::STOP, Behaviour::TWICE, 0,
       {line("configure", RX), line("start", RX), line("stop", RX)}, LogLevel::WARN,
       "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK : no request is waiting for this "
       "status, dropped"},
  };
  for (const MisbehaviourRow& row : vRows) {
    SCOPED_TRACE(row.m_szName);
    m_engine.setBehaviour(row.m_szName, row.m_eOp, answer(row.m_eAnswer, 1));
    LogCapture capture(s_szSM_LOGGER, LogLevel::WARN);
    const std::uint64_t ullRequestsBefore = m_engine.counts().m_ullRequests;
    auto pLog = std::make_shared<ReportLog>();
    EndpointPtr pEpt = endpoint(row.m_szName, row.m_szName, pLog);
    pEpt->configure(RX, nullptr);
    if (row.m_eOp != Op::CONFIGURE) pEpt->start(RX);
    if (row.m_eOp == Op::STOP) pEpt->stop(RX);

    if (row.m_eAnswer == Behaviour::NEVER) {
      const std::uint64_t ullRequests = ullRequestsBefore + row.m_vReports.size();
      ASSERT_TRUE(waitFor([&] { return m_engine.counts().m_ullRequests == ullRequests; }));
      advanceTimers(msec(row.m_iTimeoutMs - 1));
      EXPECT_EQ(row.m_vReports.size() - 1, pLog->lines().size()) << "timed out too early";
      advanceTimers(msec(1));
    }
    ASSERT_TRUE(pLog->waitLines(row.m_vReports.size()));
    // Every answer the engine armed is out and served.
    ASSERT_TRUE(waitFor([&] {
      const EngineCounts engine = m_engine.counts();
      return engine.m_ullAnswersScheduled == engine.m_ullAnswersSent;
    }));
    drainTask();
    EXPECT_EQ(row.m_vReports, pLog->lines());
    // The machine's lines name the call, the endpoint's index and the side.
    EXPECT_EQ(std::vector<std::string>{"[" + std::string(row.m_szName) +
                                       "] [ept-id=0] [RX_DIRECTION] " + row.m_strLogLine},
              capture.messages(row.m_iLevel));
    pEpt.reset();
  }
  EXPECT_EQ(3u, m_engine.counts().m_ullRefused);
}

// ---- proxies handed between threads -------------------------------------------------------

TEST_F(EndpointProxyTest, AProxyIsDestroyedOnAnotherThreadAfterTheThreadThatBuiltItLeft) {
  auto pLog = std::make_shared<ReportLog>();
  EndpointPtr pA;
  std::thread builder([&] {
    pA = endpoint("call-1", "a", pLog);
    pA->configure(RX, nullptr);
    pA->start(RX);
  });
  builder.join();
  ASSERT_TRUE(pLog->waitLines(2));
  EXPECT_TRUE(pA->stop(RX));
  ASSERT_TRUE(pLog->waitLines(3));
  pA.reset();
  EXPECT_EQ((std::vector<std::string>{line("configure", RX), line("start", RX), line("stop", RX)}),
            pLog->lines());
}

TEST_F(EndpointProxyTest, ProxiesHandedToADestroyingThreadWhileTheirBuilderGoesOn) {
  setEngineDelays(1);
  std::mutex mutex;
  std::condition_variable handed;
  std::deque<EndpointPtr> handedOver;
  bool bBuilt = false;
  std::thread builder([&] {
    for (int i = 0; i < 60; ++i) {
      EndpointPtr pEpt = endpoint("call-" + std::to_string(i % 7), "e" + std::to_string(i),
                                  std::make_shared<ReportLog>());
      pEpt->configure(RX, nullptr);
      pEpt->start(RX);
      const std::lock_guard<std::mutex> lock(mutex);
      handedOver.push_back(std::move(pEpt));
      handed.notify_one();
    }
    const std::lock_guard<std::mutex> lock(mutex);
    bBuilt = true;
    handed.notify_one();
  });
  std::thread destroyer([&] {
    std::unique_lock<std::mutex> lock(mutex);
    while (handed.wait_for(lock, std::chrono::seconds(10),
                           [&] { return bBuilt || !handedOver.empty(); })) {
      if (handedOver.empty()) return;
      EndpointPtr pEpt = std::move(handedOver.front());
      handedOver.pop_front();
      lock.unlock();
      pEpt.reset();  // with its start pending or answered
      lock.lock();
    }
  });
  builder.join();
  destroyer.join();
  EXPECT_TRUE(handedOver.empty());
  ASSERT_TRUE(waitFor([&] { return taskCounts()[0] == 0; }));
  EXPECT_EQ(120u, m_task.getLedgerSnapshot().m_requests.m_ullReceived)
      << "every request reached its endpoint before the teardown";
}

}  // namespace
}  // namespace Omvera
