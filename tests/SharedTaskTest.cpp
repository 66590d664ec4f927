// Shared tasks: counted starts and stops over a wrapped task.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/Wait.h"
#include "tidewave/infra/SharedTask.h"
#include "tidewave/infra/Task.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;

// Records the primitive calls that reach it.
class FakeTask : public ManageableTask {
 public:
  bool stop() override { return record("stop", m_bStopResult); }
  bool waitUntilDone() override { return record("wait", true); }
  bool start() override { return record("start", m_bStartResult); }
  bool kill() override { return record("kill", true); }
  int getTaskState() const override { return RUNNING_STATE; }
  bool addTaskObserver(TaskObserver*) override { return record("add", true); }
  bool removeTaskObserver(TaskObserver*) override { return record("remove", true); }
  std::string getTaskName() const override { return "Fake Task"; }
  std::string getName() const override { return "fake"; }

  std::vector<std::string> calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vCalls;
  }

  bool m_bStartResult = true;
  bool m_bStopResult = true;

 private:
  bool record(const char* in_szCall, bool in_bResult) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vCalls.push_back(in_szCall);
    return in_bResult;
  }
  mutable std::mutex m_mutex;
  std::vector<std::string> m_vCalls;
};

using Calls = std::vector<std::string>;

TEST(SharedTask, OnlyTheFirstStartAndTheLastStopReachTheTaskAndKillResetsTheCount) {
  FakeTask task;
  SharedTaskAdapterNoT shared(&task, false);
  EXPECT_TRUE(shared.start());
  EXPECT_TRUE(shared.start());
  EXPECT_TRUE(shared.stop());
  EXPECT_EQ((Calls{"start"}), task.calls());
  EXPECT_TRUE(shared.stop());
  EXPECT_EQ((Calls{"start", "stop"}), task.calls());  // no wait with false
  EXPECT_TRUE(shared.start());  // a new round starts the task again
  EXPECT_TRUE(shared.start());
  EXPECT_TRUE(shared.kill());  // whatever the count
  EXPECT_EQ(0u, shared.getStartCount());
  EXPECT_EQ((Calls{"start", "stop", "start", "kill"}), task.calls());

  FakeTask waited;
  SharedTaskAdapterNoT waiting(&waited, true);
  waiting.start();
  EXPECT_TRUE(waiting.stop());
  EXPECT_EQ((Calls{"start", "stop", "wait"}), waited.calls());
}

TEST(SharedTask, AFailedFirstStartDoesNotCountAndAStrayStopIsAnAssertion) {
  AssertionRecorder assertions;
  FakeTask task;
  SharedTaskAdapterNoT shared(&task, true);
  task.m_bStartResult = false;
  EXPECT_FALSE(shared.start());
  EXPECT_EQ(0u, shared.getStartCount());
  EXPECT_FALSE(shared.stop());
  EXPECT_EQ((std::vector<std::string>{"m_uiStartCount > 0"}), assertions.expressions());
  task.m_bStartResult = true;
  EXPECT_TRUE(shared.start());  // tried again for real
  task.m_bStopResult = false;
  EXPECT_FALSE(shared.stop());  // the task refused: nothing to wait for
  EXPECT_EQ((Calls{"start", "start", "stop"}), task.calls());
  EXPECT_EQ(0u, shared.getStartCount());
}

class StartCounter : public TaskObserver {
 public:
  void taskStateChanged(const ManageableTask&, int, int in_iNewState) override {
    if (in_iNewState == Task::STARTING_STATE) ++m_iStarts;
  }
  std::atomic<int> m_iStarts{0};
};

TEST(SharedTask, ConcurrentOwnersOfARealTaskStartItOnceAndTheLastStopEndsIt) {
  StaticReactorTaskImpl task;
  SharedTaskAdapterNoT shared(&task, true);
  StartCounter counter;
  ASSERT_TRUE(shared.addTaskObserver(&counter));
  constexpr int kOWNERS = 4;
  std::vector<std::thread> vOwners;
  std::atomic<int> iStarted{0};
  for (int i = 0; i < kOWNERS; ++i) {
    vOwners.emplace_back([&] {
      if (shared.start()) ++iStarted;
    });
  }
  for (std::thread& owner : vOwners) owner.join();
  EXPECT_EQ(kOWNERS, iStarted.load());
  EXPECT_EQ(1, counter.m_iStarts.load());
  ASSERT_TRUE(Omvera::Test::waitFor([&task] { return task.getTaskState() == Task::RUNNING_STATE; }));

  vOwners.clear();
  for (int i = 0; i < kOWNERS; ++i) {
    vOwners.emplace_back([&shared] { shared.stop(); });
  }
  for (std::thread& owner : vOwners) owner.join();
  // The last stop waited until the task thread had left.
  EXPECT_EQ(Task::IDLE_STATE, task.getTaskState());
  EXPECT_FALSE(task.isAcceptingWork());
  EXPECT_TRUE(shared.removeTaskObserver(&counter));
}

}  // namespace
}  // namespace Omvera