// The engine task with its endpoint and callback proxies, on a real task thread (the whole
// life of endpoints driven from caller threads is in MediaEndpointProxyTest): stop and
// kill with live calls; requests a teardown ends; an engine that cannot create its
// endpoint; requests before start and after the stop completed.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/FakeEngine.h"
#include "support/LogCapture.h"
#include "support/TaskTestSupport.h"
#include "support/Wait.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineImpl.h"
#include "tidewave/MediaEngineTask.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::CallbackLog;
using Test::FakeEngine;
using Test::LogCapture;
using Test::RecordingCallback;
using Test::runOnTask;
using Test::waitFor;

constexpr MediaEndpoint::Direction RX = MediaEndpoint::RX_DIRECTION;
constexpr MediaEndpoint::Direction TX = MediaEndpoint::TX_DIRECTION;
constexpr const char* s_szTASK_LOGGER = "tidewave.media.EngineTask";

using EndpointPtr = std::unique_ptr<MediaEndpoint>;

// Tasks and engines of one test. The callbacks' logs are written on the task thread and
// read here through it.
class EngineTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_task.start()); }

  // An endpoint of call in_strCallId with a recording callback whose log is out_pLog.
  EndpointPtr endpoint(const std::string& in_strCallId, const std::string& in_strEptId,
                       std::shared_ptr<CallbackLog>& out_pLog, MediaEngineTask* in_pTask = nullptr) {
    out_pLog = std::make_shared<CallbackLog>();
    MediaEngineTask& task = in_pTask != nullptr ? *in_pTask : m_task;
    return EndpointPtr(task.getEndpoint(m_engine, new RecordingCallback(out_pLog),
                                        in_strCallId.c_str(), in_strEptId.c_str(), nullptr));
  }
  std::vector<std::string> linesOf(const std::shared_ptr<CallbackLog>& in_pLog) {
    std::vector<std::string> vLines;
    runOnTask(m_task, [&] { vLines = in_pLog->lines(); });
    return vLines;
  }
  bool waitReports(const std::shared_ptr<CallbackLog>& in_pLog, std::size_t in_uiCount) {
    return waitFor([&] { return linesOf(in_pLog).size() >= in_uiCount; });
  }
  // The task's counts, read on its thread: calls in the table, calls counted finished,
  // calls idle in the pool and out of it, endpoints idle and out.
  std::vector<std::uint64_t> counts() {
    std::vector<std::uint64_t> vCounts;
    runOnTask(m_task, [&] { vCounts = countsNow(m_task); });
    return vCounts;
  }
  static std::vector<std::uint64_t> countsNow(MediaEngineTask& in_task) {
    return {in_task.getNumCalls(), in_task.getNumCallAllEptInFinalState(),
            in_task.getCallPool().getNumUnusedObject(), in_task.getCallPool().getNumObjectOut(),
            in_task.getEndpointPool().getNumUnusedObject(),
            in_task.getEndpointPool().getNumObjectOut()};
  }

  // Every request that reached an endpoint was answered or ended by a teardown; returns
  // how many were received.
  std::uint64_t expectBalancedLedger() {
    const RequestLedger::Counts counts = m_task.getLedgerSnapshot().m_requests;
    EXPECT_TRUE(counts.balanced()) << counts.m_ullReceived << " received, "
                                   << counts.m_ullDelivered << " delivered, "
                                   << counts.m_ullEndedByTeardown << " ended by teardown";
    return counts.m_ullReceived;
  }

  // Declared first: the task's endpoints refer to the engine until the task is gone.
  FakeEngine m_engine;
  MediaEngineTask m_task;
};

TEST_F(EngineTaskTest, RequestsATeardownEndsWithoutAReportAreCountedAsSuch) {
  runOnTask(m_task, [&] { m_engine.setCreatedSilent(true); });
  std::shared_ptr<CallbackLog> pLog;
  EndpointPtr pA = endpoint("call-1", "a", pLog);
  pA->configure(RX, nullptr);  // never answered by the engine
  pA->start(RX);               // waits behind the configuration
  pA->stop(RX);
  pA.reset();
  ASSERT_TRUE(waitFor([&] { return counts()[0] == 0; }));
  // The pending configuration is reported failed; the start and the stop end unreported.
  EXPECT_EQ(std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED"}, linesOf(pLog));
  const RequestLedger::Counts counts = m_task.getLedgerSnapshot().m_requests;
  EXPECT_EQ(3u, counts.m_ullReceived);
  EXPECT_EQ(1u, counts.m_ullDelivered);
  EXPECT_EQ(2u, counts.m_ullEndedByTeardown);
}

TEST_F(EngineTaskTest, AStopWithALiveCallCompletesOnlyWhenItsLastProxyIsGone) {
  std::shared_ptr<CallbackLog> pLog;
  EndpointPtr pA = endpoint("call-1", "a", pLog);
  pA->configure(RX, nullptr);
  pA->start(RX);
  ASSERT_TRUE(waitReports(pLog, 2));

  ASSERT_TRUE(m_task.stop());
  // The stop stopped the endpoint (reported) and waits for the proxy.
  ASSERT_TRUE(waitReports(pLog, 3));
  EXPECT_EQ("stop RX_DIRECTION EPT_OP_OK", linesOf(pLog).back());
  EXPECT_EQ(Task::STOPPING_STATE, m_task.getTaskState());
  EXPECT_EQ((std::vector<std::uint64_t>{1, 1, 0, 1, 0, 1}), counts());

  pA.reset();
  ASSERT_TRUE(m_task.waitUntilDone());
  EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 1, 0, 1, 0}), countsNow(m_task));
  EXPECT_EQ(2u, expectBalancedLedger()) << "the stop of the task is no user request";
}

TEST_F(EngineTaskTest, AKillGivesEveryCallBackAtOnceWhateverItsState) {
  AssertionRecorder assertions;
  std::shared_ptr<CallbackLog> pLogA;
  std::shared_ptr<CallbackLog> pLogB;
  EndpointPtr pA = endpoint("call-1", "a", pLogA);
  EndpointPtr pB = endpoint("call-2", "b", pLogB);
  pA->configure(RX, nullptr);
  pA->start(RX);
  ASSERT_TRUE(waitReports(pLogA, 2));

  ASSERT_TRUE(m_task.kill());
  ASSERT_TRUE(m_task.waitUntilDone());
  EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 2, 0, 2, 0}), countsNow(m_task));
  // The proxies' requests find no task now; destroying them loses nothing.
  EXPECT_FALSE(pA->stop(RX));
  pA.reset();
  pB.reset();
  EXPECT_TRUE(assertions.expressions().empty());
  expectBalancedLedger();
}

TEST_F(EngineTaskTest, AnEndpointTheEngineCannotCreateFailsEveryRequestAndHearsNoPeer) {
  LogCapture capture(s_szTASK_LOGGER, LogLevel::ERROR);
  std::shared_ptr<CallbackLog> pLogB;
  EndpointPtr pB = endpoint("call-1", "b", pLogB);
  runOnTask(m_task, [&] {
    m_engine.created(0)->callback()->sendPeerData(RX, new CTBusPeerData(5));
    m_engine.refuseCreation(true);
  });
  std::shared_ptr<CallbackLog> pLog;
  EndpointPtr pA = endpoint("call-1", "a", pLog);
  pA->configure(RX, nullptr);
  pA->configure(TX, nullptr);
  pA->getCapacity(TX);
  ASSERT_TRUE(waitReports(pLog, 3));
  EXPECT_EQ((std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED",
                                      "configure TX_DIRECTION EPT_OP_FAILED",
                                      "capacity TX_DIRECTION EPT_OP_FAILED"}),
            linesOf(pLog));
  EXPECT_EQ(std::vector<std::string>{"failed to create Media Engine Endpoint for call call-1"},
            capture.messages(LogLevel::ERROR));
  // Peer data of its linked peer, published before and after it came, never reaches the
  // engine for the stand-in.
  runOnTask(m_task, [&] { m_engine.created(0)->callback()->sendPeerData(TX, new CTBusPeerData(6)); });
  runOnTask(m_task, [&] { EXPECT_EQ(0u, m_engine.numPeerDataDelivered()); });

  pA.reset();
  pB.reset();
  ASSERT_TRUE(waitFor([&] { return counts()[0] == 0; }));
  EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 1, 0, 2, 0}), counts());
  EXPECT_EQ(2u, expectBalancedLedger());
}

TEST(EngineTaskRefusals, NoEndpointBeforeStartWithoutCallbackOrAfterTheStopCompleted) {
  LogCapture capture(s_szTASK_LOGGER, LogLevel::WARN);
  AssertionRecorder assertions;
  FakeEngine engine;

  // A task whose stop completion itself asks for an endpoint: the request is queued while
  // the queue still accepts work and served after the stop completed.
  class LateRequestTask : public MediaEngineTask {
   public:
    explicit LateRequestTask(FakeEngine& in_engine) : m_engine(in_engine) {}
    std::shared_ptr<CallbackLog> m_pLog = std::make_shared<CallbackLog>();
    EndpointPtr m_pLate;

   protected:
    void handleMOCallStopCompleted() override {
      MediaEngineTask::handleMOCallStopCompleted();
      m_pLate.reset(getEndpoint(m_engine, new RecordingCallback(m_pLog), "late", "x", nullptr));
    }

   private:
    FakeEngine& m_engine;
  } task(engine);

  auto pLog = std::make_shared<CallbackLog>();
  EXPECT_EQ(nullptr, task.getEndpoint(engine, new RecordingCallback(pLog), "c", "e",
                                      new RedirectRxEndpointSpec("x")));
  EXPECT_TRUE(pLog->m_bDestroyed);
  EXPECT_EQ(std::vector<std::string>{"MediaEngineTask::getEndpoint : Not accepting work because "
                                     "the MediaEngineTask is not started"},
            capture.messages(LogLevel::ERROR));

  ASSERT_TRUE(task.start());
  EXPECT_TRUE(task.start()) << "a running task starts once";
  EXPECT_EQ(nullptr, task.getEndpoint(engine, nullptr, "c", "e", nullptr));
  EXPECT_EQ(std::vector<std::string>{"! pCallback.isNull()"}, assertions.expressions());

  ASSERT_TRUE(task.stop());
  ASSERT_TRUE(task.waitUntilDone());
  ASSERT_NE(nullptr, task.m_pLate);
  EXPECT_EQ(std::vector<std::string>{"MediaEngineTask::getEndpoint_i : endpoint of media call "
                                     "late refused, the MediaEngineTask has completed its stop"},
            capture.messages(LogLevel::WARN));
  EXPECT_EQ(0u, task.getNumCalls());
  EXPECT_TRUE(task.m_pLog->m_bDestroyed);
  EXPECT_FALSE(task.m_pLate->start(RX));
}

TEST(SharedEngineTask, EnginesHandTheirRequestsToTheOneTaskOfTheProcess) {
  LogCapture capture(s_szTASK_LOGGER, LogLevel::ERROR);
  FakeEngine engine;
  MediaEngineTask* pTask = MediaEngineImplNoT::getMediaEngineTask();
  MediaEngineTask* pSeenElsewhere = nullptr;
  std::thread([&pSeenElsewhere] {
    pSeenElsewhere = MediaEngineImplNoT::getMediaEngineTask();
  }).join();
  EXPECT_EQ(pTask, pSeenElsewhere);

  auto pLog = std::make_shared<CallbackLog>();
  ASSERT_TRUE(MediaEngineImplNoT::getTaskHandle()->start());
  EndpointPtr pEpt(engine.getEndpointNoId(new RecordingCallback(pLog), "c", nullptr));
  ASSERT_NE(nullptr, pEpt);
  EXPECT_EQ(36u, std::string(pEpt->getEptId()).size()) << "a UUID";
  pEpt->configure(RX, nullptr);
  ASSERT_TRUE(waitFor([&] {
    std::size_t uiReports = 0;
    runOnTask(*pTask, [&] { uiReports = pLog->lines().size(); });
    return uiReports == 1;
  }));
  pEpt.reset();
  ASSERT_TRUE(MediaEngineImplNoT::getTaskHandle()->stop());
  ASSERT_TRUE(pTask->waitUntilDone());
  EXPECT_EQ(0u, pTask->getNumCalls());
  EXPECT_TRUE(capture.messages(LogLevel::ERROR).empty());
}

}  // namespace
}  // namespace Omvera
