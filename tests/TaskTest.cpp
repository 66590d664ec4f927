// Tasks: serving order, queueing limits, the stop and kill protocol, destruction and the
// task object proxy base.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/ReplacedNew.h"
#include "support/TaskTestSupport.h"
#include "support/Wait.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/MemAllocator.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TaskObjectProxyNoT.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::FnRequest;
using Test::Gate;
using Test::runOnTask;
using Test::waitFor;

class Recorder {
 public:
  void record(const std::string& in_strEvent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vEvents.push_back(in_strEvent);
  }
  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vEvents;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_vEvents;
};

// Records its hooks. With in_bDeferStopCompletion the stop is completed by the test.
class RecordingTask : public StaticReactorTaskImpl {
 public:
  explicit RecordingTask(Recorder& in_recorder, bool in_bDeferStopCompletion = false)
      : m_recorder(in_recorder), m_bDeferStopCompletion(in_bDeferStopCompletion) {
    setTaskName("Recording Task");
  }
  ~RecordingTask() override { killAndWait(); }

  // Queues a request that records in_strName when served.
  bool enqueueRecord(const std::string& in_strName, std::atomic<int>* in_pDestroyed = nullptr) {
    return enqueue(new FnRequest(
                       [this, in_strName] {
                         m_recorder.record(in_strName);
                         return 0;
                       },
                       in_pDestroyed),
                   "RecordingTask::record");
  }
  // Queues a request that records in_strName and then holds the task thread in in_gate;
  // waits (bounded) until the thread is inside the gate.
  bool recordAndHold(const std::string& in_strName, Gate& in_gate) {
    return enqueue(new FnRequest([this, in_strName, &in_gate] {
                     m_recorder.record(in_strName);
                     return in_gate.passThrough();
                   }),
                   "RecordingTask::recordAndHold") &&
           waitFor([&in_gate] { return in_gate.entered(); });
  }

 protected:
  void handleMOCallStop() override {
    m_recorder.record("stop:" + std::string(stateName(getTaskState())));
    if (!m_bDeferStopCompletion) StaticReactorTaskImpl::handleMOCallStop();
  }
  void handleMOCallStopCompleted() override {
    m_recorder.record("stopCompleted");
    StaticReactorTaskImpl::handleMOCallStopCompleted();
  }
  void handleMOCallKill() override {
    m_recorder.record("kill");
    StaticReactorTaskImpl::handleMOCallKill();
  }
  void onSvcEntry() override {
    m_recorder.record("svcEntry");
    StaticReactorTaskImpl::onSvcEntry();
  }
  int close(unsigned long in_ulFlags) override {
    m_recorder.record("close");
    return StaticReactorTaskImpl::close(in_ulFlags);
  }

 private:
  Recorder& m_recorder;
  const bool m_bDeferStopCompletion;
};

class StateObserver : public TaskObserver {
 public:
  void taskStateChanged(const ManageableTask&, int, int in_iNewState) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vStates.push_back(in_iNewState);
  }
  std::vector<int> states() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vStates;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<int> m_vStates;
};

// ---------------------------------------------------------------------------------------

TEST(TaskServing, RequestsRunInFifoOrderOnTheTaskThreadAndNeverOverlap) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  std::thread::id taskThread;
  ASSERT_TRUE(runOnTask(task, [&taskThread] { taskThread = std::this_thread::get_id(); }));

  constexpr int kPRODUCERS = 3;
  constexpr int kPER_PRODUCER = 2000;
  std::atomic<int> iInFlight{0};
  std::atomic<int> iOverlaps{0};
  std::atomic<int> iWrongThread{0};
  std::atomic<int> iServed{0};
  std::vector<std::vector<int>> vSeen(kPRODUCERS);  // touched by the task thread only
  std::vector<std::thread> vProducers;
  for (int iProducer = 0; iProducer < kPRODUCERS; ++iProducer) {
    vProducers.emplace_back([&, iProducer] {
      for (int iSeq = 0; iSeq < kPER_PRODUCER; ++iSeq) {
        task.enqueue(new FnRequest([&, iProducer, iSeq] {
                       if (++iInFlight != 1) ++iOverlaps;
                       if (std::this_thread::get_id() != taskThread) ++iWrongThread;
                       vSeen[iProducer].push_back(iSeq);
                       --iInFlight;
                       ++iServed;
                       return 0;
                     }),
                     "TaskTest::sequence");
      }
    });
  }
  for (std::thread& producer : vProducers) producer.join();
  ASSERT_TRUE(waitFor([&] { return iServed == kPRODUCERS * kPER_PRODUCER; }));
  task.stop();
  ASSERT_TRUE(task.waitUntilDone());

  EXPECT_EQ(0, iOverlaps.load());
  EXPECT_EQ(0, iWrongThread.load());
  for (const std::vector<int>& vOneProducer : vSeen) {
    ASSERT_EQ(static_cast<std::size_t>(kPER_PRODUCER), vOneProducer.size());
    for (int iSeq = 0; iSeq < kPER_PRODUCER; ++iSeq) ASSERT_EQ(iSeq, vOneProducer[iSeq]);
  }
}

TEST(TaskQueueing, HundredThousandRequestsQueuedBehindABlockedRequestAreAcceptedAndServed) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  Gate gate(std::chrono::seconds(200));
  ASSERT_TRUE(gate.holdTask(task));

  constexpr int kREQUESTS = 100000;
  std::atomic<int> iServed{0}, iAccepted{0};
  std::atomic<bool> bProducerDone{false};
  // Queued from another thread: a queue that blocked its senders would hang it, not us.
  std::thread producer([&] {
    for (int i = 0; i < kREQUESTS; ++i) {
      iAccepted += task.enqueue(new FnRequest([&iServed] { return ++iServed, 0; }), "burst");
    }
    bProducerDone = true;
  });
  EXPECT_TRUE(waitFor([&] { return bProducerDone.load(); }, std::chrono::milliseconds(100000)));
  EXPECT_EQ(0, iServed.load());  // all of them were queued while the task was held
  gate.open();
  producer.join();
  EXPECT_EQ(kREQUESTS, iAccepted.load());
  ASSERT_TRUE(waitFor([&] { return iServed == kREQUESTS; }, std::chrono::milliseconds(60000)));
  task.stop();
  task.waitUntilDone();
}

TEST(TaskQueueing, ATaskQueueingThousandsToItselfDoesNotDeadlock) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  constexpr int kREQUESTS = 5000;
  std::atomic<int> iServed{0}, iAccepted{0};
  task.enqueue(new FnRequest([&] {
                 for (int i = 0; i < kREQUESTS; ++i) {
                   iAccepted += task.enqueue(new FnRequest([&] { return ++iServed, 0; }), "self");
                 }
                 return 0;
               }),
               "TaskTest::selfQueueing");
  ASSERT_TRUE(waitFor([&] { return iServed == kREQUESTS; }));
  EXPECT_EQ(kREQUESTS, iAccepted.load());
  task.stop();
  task.waitUntilDone();
}

// ---------------------------------------------------------------------------------------

TEST(TaskLifeCycle, StopServesPendingWorkCallsTheHooksInOrderAndThenRefusesWork) {
  Recorder recorder;
  RecordingTask task(recorder);
  StateObserver observer;
  ASSERT_TRUE(task.addTaskObserver(&observer));
  ASSERT_TRUE(task.start());
  Gate gate;
  ASSERT_TRUE(task.recordAndHold("A", gate));
  task.enqueueRecord("B");
  ASSERT_TRUE(task.stop());
  task.enqueueRecord("C");
  gate.open();
  ASSERT_TRUE(task.waitUntilDone());

  EXPECT_EQ((std::vector<std::string>{"svcEntry", "A", "B", "stop:STOPPING", "C", "stopCompleted",
                                      "close"}),
            recorder.events());
  EXPECT_EQ((std::vector<int>{Task::STARTING_STATE, Task::RUNNING_STATE, Task::STOPPING_STATE,
                              Task::IDLE_STATE}),
            observer.states());
  EXPECT_EQ(Task::IDLE_STATE, task.getTaskState());

  std::atomic<int> iDestroyed{0};
  EXPECT_FALSE(task.enqueueRecord("late", &iDestroyed));
  EXPECT_EQ(1, iDestroyed.load());
  EXPECT_FALSE(task.stop());
  EXPECT_FALSE(task.kill());
}

TEST(TaskLifeCycle, ADeferredStopKeepsServingAndLosesNothingAcceptedBeforeCompletion) {
  Recorder recorder;
  RecordingTask task(recorder, true);
  ASSERT_TRUE(task.start());
  {
    AssertionRecorder assertions;
    EXPECT_FALSE(task.stopCompleted());  // not stopping yet
    EXPECT_EQ(1u, assertions.count("getTaskState() == STOPPING_STATE"));
  }
  ASSERT_TRUE(task.stop());
  ASSERT_TRUE(waitFor([&task] { return task.getTaskState() == Task::STOPPING_STATE; }));
  // Stopping, not completed: the task still serves.
  ASSERT_TRUE(runOnTask(task, [&] { recorder.record("while stopping"); }));

  Gate gate;
  ASSERT_TRUE(gate.holdTask(task));
  ASSERT_TRUE(task.stopCompleted());
  EXPECT_TRUE(task.enqueueRecord("D"));  // accepted before the completion is served
  gate.open();
  ASSERT_TRUE(task.waitUntilDone());

  EXPECT_EQ((std::vector<std::string>{"svcEntry", "stop:STOPPING", "while stopping",
                                      "stopCompleted", "D", "close"}),
            recorder.events());
  std::atomic<int> iDestroyed{0};
  EXPECT_FALSE(task.enqueueRecord("E", &iDestroyed));
  EXPECT_EQ(1, iDestroyed.load());
}

TEST(TaskLifeCycle, KillGoesAheadOfPendingWorkAndDestroysItUnserved) {
  Recorder recorder;
  RecordingTask task(recorder);
  ASSERT_TRUE(task.start());
  Gate gate;
  ASSERT_TRUE(task.recordAndHold("A", gate));
  std::atomic<int> iDestroyed{0};
  task.enqueueRecord("B", &iDestroyed);
  task.enqueueRecord("C", &iDestroyed);
  ASSERT_TRUE(task.kill());
  gate.open();
  ASSERT_TRUE(task.waitUntilDone());

  EXPECT_EQ((std::vector<std::string>{"svcEntry", "A", "kill", "close"}), recorder.events());
  EXPECT_EQ(2, iDestroyed.load());
  EXPECT_EQ(Task::IDLE_STATE, task.getTaskState());
  EXPECT_FALSE(task.enqueueRecord("late", &iDestroyed));
  EXPECT_EQ(3, iDestroyed.load());
}

TEST(TaskQueueing, TheQueueKeepsItsDepthHighWaterAndLongestWait) {
  Recorder recorder;
  RecordingTask task(recorder);
  ASSERT_TRUE(task.start());
  Gate gate;
  ASSERT_TRUE(gate.holdTask(task));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(task.enqueueRecord("r"));
  const auto heldSince = std::chrono::steady_clock::now();
  EXPECT_EQ(5u, task.getQueueStats().m_uiDepth);
  // Held at least a measured while, so the longest wait is at least that long.
  while (std::chrono::steady_clock::now() - heldSince < std::chrono::milliseconds(20)) {
    std::this_thread::yield();
  }
  const auto llHeldUs = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - heldSince)
                            .count();
  gate.open();
  ASSERT_TRUE(runOnTask(task, [] {}));
  const TaskQueueStats stats = task.getQueueStats();
  EXPECT_EQ(0u, stats.m_uiDepth);
  EXPECT_LE(5u, stats.m_uiHighWater);
  EXPECT_GE(stats.m_llLongestWaitUs, llHeldUs);
}

TEST(TaskQueueing, AWarmTaskQueuesRequestsWithoutHeapAllocation) {
  if (!DefaultStaticMemAllocator::poolsBlocks()) GTEST_SKIP() << "no pooling under ASan";
  Recorder recorder;
  RecordingTask task(recorder);
  ASSERT_TRUE(task.start());
  // Blocks freed by the task thread beyond what it keeps for itself serve the callers.
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(task.enqueueRecord("warm"));
  ASSERT_TRUE(runOnTask(task, [] {}));

  std::vector<ACE_Method_Request*> vRequests;
  for (int i = 0; i < 100; ++i) vRequests.push_back(new FnRequest([] { return 0; }));
  const long lBefore = Omvera::Test::s_lAllocations;
  for (ACE_Method_Request* pRequest : vRequests) ASSERT_TRUE(task.enqueue(pRequest, "r"));
  EXPECT_EQ(0, Omvera::Test::s_lAllocations - lBefore);
  ASSERT_TRUE(runOnTask(task, [] {}));
}

// ---------------------------------------------------------------------------------------

// Deletes a task on another thread so that a destructor that hangs fails the test.
bool destroyWithin(std::function<void()> in_destroy) {
  auto pDone = std::make_shared<std::atomic<bool>>(false);
  std::thread destroyer([in_destroy, pDone] {
    in_destroy();
    *pDone = true;
  });
  const bool bDone = waitFor([pDone] { return pDone->load(); });
  if (bDone) {
    destroyer.join();
  } else {
    destroyer.detach();
  }
  return bDone;
}

TEST(TaskDestruction, DestroyingARunningTaskKillsItRunsItsKillHookAndDeletesPendingWork) {
  Recorder recorder;
  auto* pTask = new RecordingTask(recorder);
  ASSERT_TRUE(pTask->start());
  ASSERT_TRUE(runOnTask(*pTask, [] {}));
  std::atomic<int> iDestroyed{0};
  pTask->enqueue(new FnRequest([] { return 0; }, &iDestroyed), "TaskTest::pending");
  ASSERT_TRUE(destroyWithin([pTask] { delete pTask; }));
  EXPECT_EQ(1, iDestroyed.load());  // served or deleted unserved, never leaked
  EXPECT_EQ((std::vector<std::string>{"svcEntry", "kill", "close"}), recorder.events());
}

// ---------------------------------------------------------------------------------------

TEST(TaskObjectProxy, GivesItsIdBackOnceAndAfterTheStopCannotQueue) {
  HashIDGenerator generator(false);
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  TaskObjectProxyNoT first(generator, task.getActivationQueue());
  TaskObjectProxyNoT second(generator, task.getActivationQueue());
  first.proxyDestruction();
  first.proxyDestruction();
  EXPECT_EQ(1u, generator.numIDsInUse());
  second.proxyDestruction();
  task.stop();
  task.waitUntilDone();
  TaskObjectProxyNoT late(generator, task.getActivationQueue());
  std::atomic<int> iDestroyed{0};
  EXPECT_FALSE(late.enqueue(new FnRequest([] { return 0; }, &iDestroyed), "TaskTest::late"));
  EXPECT_EQ(1, iDestroyed.load());
  late.proxyDestruction();
  EXPECT_EQ(0u, generator.numIDsInUse());
}

}  // namespace
}  // namespace Omvera