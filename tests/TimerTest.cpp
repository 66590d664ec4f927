// Timers: the task's timers on its own thread (short real delays, bounded waits) and the
// manual scheduler that drives timer logic without waiting.
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
#include "support/LogCapture.h"
#include "support/TaskTestSupport.h"
#include "support/Wait.h"
#include "tidewave/infra/ManualTimerScheduler.h"
#include "tidewave/infra/Task.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::FnRequest;
using Test::LogCapture;
using Test::runOnTask;
using Test::waitFor;
using Clock = std::chrono::steady_clock;

// One named piece of timeout data per timer.
struct NamedData : TimeoutData {
  explicit NamedData(const char* in_szName) : m_szName(in_szName) {}
  const char* m_szName;
};

struct Expiry {
  std::string m_strName;
  ACE_Time_Value m_now;
  std::thread::id m_thread;
  Clock::time_point m_firedAt;
};

// Records the expiries it receives; may run an action on each.
class RecordingProcessor : public TimeoutProcessor {
 public:
  bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pData) override {
    const auto* pData = dynamic_cast<const NamedData*>(in_pData);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_vExpiries.push_back(Expiry{pData != nullptr ? pData->m_szName : "?", in_now,
                                   std::this_thread::get_id(), Clock::now()});
    }
    if (m_onExpiry) m_onExpiry(pData);
    return m_bResult;
  }
  bool onTimeoutCancelled(const TimeoutData* in_pData) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vCancelled.push_back(in_pData);
    return true;
  }
  bool isActive() const override { return m_bActive; }

  std::vector<Expiry> expiries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vExpiries;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> vNames;
    for (const Expiry& expiry : expiries()) vNames.push_back(expiry.m_strName);
    return vNames;
  }
  bool fired(const std::string& in_strName) const {
    for (const Expiry& expiry : expiries()) {
      if (expiry.m_strName == in_strName) return true;
    }
    return false;
  }
  std::vector<const TimeoutData*> cancelled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vCancelled;
  }

  std::function<void(const NamedData*)> m_onExpiry;
  bool m_bResult = true;
  bool m_bActive = true;

 private:
  mutable std::mutex m_mutex;
  std::vector<Expiry> m_vExpiries;
  std::vector<const TimeoutData*> m_vCancelled;
};

ACE_Time_Value msec(long in_lMilliseconds) {
  ACE_Time_Value value;
  value.msec(in_lMilliseconds);
  return value;
}

// ---------------------------------------------------------------------------------------
// The task's timers

TEST(TaskTimers, FireOnTheTaskThreadInDeadlineOrderNeverEarlyAndNeverOnceCancelled) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  RecordingProcessor processor;
  NamedData a("A"), b("B"), c("C"), cancelled("X");
  std::thread::id taskThread;
  Clock::time_point armedAt;
  bool bCancelled = false;
  ASSERT_TRUE(runOnTask(task, [&] {
    taskThread = std::this_thread::get_id();
    armedAt = Clock::now();
    task.scheduleTimer(&processor, &c, msec(60));
    task.scheduleTimer(&processor, &a, msec(20));
    const long lCancelled = task.scheduleTimer(&processor, &cancelled, msec(30));
    task.scheduleTimer(&processor, &b, msec(40));
    bCancelled = task.cancelTimer(lCancelled, &cancelled);
  }));
  EXPECT_TRUE(bCancelled);
  // X would have fired before C: once C has fired, X never will.
  ASSERT_TRUE(waitFor([&processor] { return processor.fired("C"); }));
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), processor.names());
  const long alDelays[] = {20, 40, 60};
  const std::vector<Expiry> vExpiries = processor.expiries();
  for (std::size_t i = 0; i < vExpiries.size(); ++i) {
    EXPECT_EQ(taskThread, vExpiries[i].m_thread);
    EXPECT_GE(vExpiries[i].m_firedAt - armedAt, std::chrono::milliseconds(alDelays[i]));
  }
  EXPECT_EQ((std::vector<const TimeoutData*>{&cancelled}), processor.cancelled());
  EXPECT_EQ(0u, task.numArmedTimers());
  task.stop();
  task.waitUntilDone();
}

TEST(TaskTimers, ATimerArmedFromAnotherThreadWakesTheSleepingTask) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  RecordingProcessor processor;
  NamedData late("late"), soon("soon"), idle("idle");
  std::thread::id taskThread;
  ASSERT_TRUE(runOnTask(task, [&taskThread] { taskThread = std::this_thread::get_id(); }));

  // The task sleeps without a deadline: the new timer must wake it.
  Clock::time_point armedAt = Clock::now();
  ASSERT_NE(-1, task.scheduleTimer(&processor, &idle, msec(20)));
  ASSERT_TRUE(waitFor([&processor] { return processor.fired("idle"); }));
  EXPECT_GE(processor.expiries()[0].m_firedAt - armedAt, std::chrono::milliseconds(20));
  EXPECT_EQ(taskThread, processor.expiries()[0].m_thread);

  // The task sleeps until a deadline 60 s away: an earlier timer must cut that short.
  const long lLate = task.scheduleTimer(&processor, &late, ACE_Time_Value(60));
  ASSERT_NE(-1, lLate);
  ASSERT_TRUE(runOnTask(task, [] {}));  // the task has seen the 60 s deadline
  armedAt = Clock::now();
  ASSERT_NE(-1, task.scheduleTimer(&processor, &soon, msec(20)));
  ASSERT_TRUE(waitFor([&processor] { return processor.fired("soon"); }));
  EXPECT_GE(processor.expiries()[1].m_firedAt - armedAt, std::chrono::milliseconds(20));
  EXPECT_TRUE(task.cancelTimer(lLate, &late));
  task.stop();
  task.waitUntilDone();
}

TEST(TaskTimers, ADueTimerFiresBetweenRequestsNotAfterTheWholeBacklog) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  RecordingProcessor processor;
  NamedData data("due");
  std::atomic<bool> bRelease{false};
  std::atomic<bool> bEntered{false};
  std::atomic<int> iServed{0};
  task.enqueue(new FnRequest([&] {
                 bEntered = true;
                 waitFor([&bRelease] { return bRelease.load(); });
                 return 0;
               }),
               "TimerTest::hold");
  ASSERT_TRUE(waitFor([&bEntered] { return bEntered.load(); }));
  for (int i = 0; i < 1000; ++i) {
    task.enqueue(new FnRequest([&iServed] {
                   ++iServed;
                   return 0;
                 }),
                 "TimerTest::backlog");
  }
  int iServedAtExpiry = -1;
  processor.m_onExpiry = [&](const NamedData*) { iServedAtExpiry = iServed; };
  ASSERT_NE(-1, task.scheduleTimer(&processor, &data, ACE_Time_Value::zero));
  bRelease = true;
  ASSERT_TRUE(waitFor([&iServed] { return iServed == 1000; }));
  ASSERT_TRUE(processor.fired("due"));
  EXPECT_EQ(0, iServedAtExpiry);
  task.stop();
  task.waitUntilDone();
}

TEST(TaskTimers, ACompletedStopDropsArmedTimersAndRefusesNewOnesUntilRestarted) {
  StaticReactorTaskImpl task;
  RecordingProcessor processor;
  NamedData data("long");
  // Armed before start: kept until the thread runs.
  ASSERT_NE(-1, task.scheduleTimer(&processor, &data, ACE_Time_Value(60)));
  ASSERT_TRUE(task.start());
  EXPECT_EQ(1u, task.numArmedTimers());
  task.stop();
  ASSERT_TRUE(task.waitUntilDone());
  EXPECT_EQ(0u, task.numArmedTimers());
  EXPECT_EQ(-1, task.scheduleTimer(&processor, &data, msec(1)));
  ASSERT_TRUE(task.start());
  EXPECT_NE(-1, task.scheduleTimer(&processor, &data, msec(1)));
  ASSERT_TRUE(waitFor([&processor] { return processor.fired("long"); }));
  task.kill();
  task.waitUntilDone();
  EXPECT_TRUE(processor.cancelled().empty());  // dropping is not cancelling
}

TEST(TaskTimers, MisuseIsAnAssertionAndLeavesTimersAlone) {
  AssertionRecorder assertions;
  StaticReactorTaskImpl task;
  RecordingProcessor processor;
  NamedData data("mine"), other("other");
  EXPECT_EQ(-1, task.scheduleTimer(nullptr, &data, msec(1)));
  EXPECT_EQ(-1, task.scheduleTimer(&processor, &data, ACE_Time_Value(-1)));
  const long lId = task.scheduleTimer(&processor, &data, ACE_Time_Value(60));
  EXPECT_FALSE(task.cancelTimer(lId, &other));
  EXPECT_EQ(1u, task.numArmedTimers());
  EXPECT_TRUE(task.cancelTimer(lId, nullptr));
  EXPECT_FALSE(task.cancelTimer(lId, nullptr));
  EXPECT_EQ((std::vector<std::string>{"in_pProcessor != 0", "in_delay >= ACE_Time_Value::zero",
                                      "in_pData == timer data"}),
            assertions.expressions());
}

// ---------------------------------------------------------------------------------------
// The manual scheduler

TEST(ManualTimers, AdvanceFiresDueTimersInDeadlineOrderWithTiesInArmingOrder) {
  const ACE_Time_Value start(1000);
  ManualTimerScheduler scheduler(start);
  RecordingProcessor processor;
  NamedData a("A"), b("B"), c("C"), d("D");
  scheduler.scheduleTimer(&processor, &a, ACE_Time_Value(5));
  scheduler.scheduleTimer(&processor, &b, ACE_Time_Value(1));
  scheduler.scheduleTimer(&processor, &c, ACE_Time_Value(5));
  scheduler.scheduleTimer(&processor, &d, ACE_Time_Value(3));
  EXPECT_EQ(4u, scheduler.advance(ACE_Time_Value(10)));
  EXPECT_EQ((std::vector<std::string>{"B", "D", "A", "C"}), processor.names());
  const std::vector<Expiry> vExpiries = processor.expiries();
  EXPECT_EQ(start + ACE_Time_Value(1), vExpiries[0].m_now);
  EXPECT_EQ(start + ACE_Time_Value(3), vExpiries[1].m_now);
  EXPECT_EQ(start + ACE_Time_Value(5), vExpiries[3].m_now);
  EXPECT_EQ(std::this_thread::get_id(), vExpiries[0].m_thread);
  EXPECT_EQ(start + ACE_Time_Value(10), scheduler.now());
  EXPECT_EQ(0u, scheduler.numArmed());
}

TEST(ManualTimers, NothingFiresBeforeItsDeadlineAndWhatIsArmedIsReported) {
  ManualTimerScheduler scheduler;
  RecordingProcessor processor;
  NamedData shortData("5s"), longData("300s");
  const long lShort = scheduler.scheduleTimer(&processor, &shortData, ACE_Time_Value(5));
  const long lLong = scheduler.scheduleTimer(&processor, &longData, ACE_Time_Value(300));
  EXPECT_NE(lShort, lLong);
  EXPECT_EQ(2u, scheduler.numArmed());
  ACE_Time_Value value;
  ASSERT_TRUE(scheduler.nextDeadline(value));
  EXPECT_EQ(ACE_Time_Value(5), value);
  ASSERT_TRUE(scheduler.getDeadline(lLong, value));
  EXPECT_EQ(ACE_Time_Value(300), value);

  EXPECT_EQ(0u, scheduler.advance(msec(4999)));
  ASSERT_TRUE(scheduler.timeUntilNext(value));
  EXPECT_EQ(msec(1), value);
  EXPECT_EQ(1u, scheduler.advance(msec(1)));
  EXPECT_FALSE(scheduler.isArmed(lShort));
  EXPECT_TRUE(scheduler.isArmed(lLong));

  EXPECT_EQ(0u, scheduler.advance(ACE_Time_Value(294)));
  EXPECT_EQ(1u, scheduler.advance(ACE_Time_Value(1)));
  EXPECT_EQ((std::vector<std::string>{"5s", "300s"}), processor.names());
  EXPECT_FALSE(scheduler.nextDeadline(value));
  EXPECT_FALSE(scheduler.fireNext());
  EXPECT_EQ(2u, scheduler.numFired());
  EXPECT_EQ(2u, scheduler.numScheduled());
}

TEST(ManualTimers, CallbacksArmAndCancelTimersWithinTheSameAdvance) {
  ManualTimerScheduler scheduler;
  RecordingProcessor processor;
  NamedData first("first"), doomed("doomed"), rearmed("rearmed"), immediate("immediate");
  scheduler.scheduleTimer(&processor, &first, ACE_Time_Value(1));
  const long lDoomed = scheduler.scheduleTimer(&processor, &doomed, ACE_Time_Value(2));
  processor.m_onExpiry = [&](const NamedData* in_pData) {
    if (in_pData == &first) {
      scheduler.cancelTimer(lDoomed, &doomed);
      scheduler.scheduleTimer(&processor, &rearmed, ACE_Time_Value(2));  // due at 3 s
      scheduler.scheduleTimer(&processor, &immediate, ACE_Time_Value::zero);
    }
  };
  EXPECT_EQ(3u, scheduler.advance(ACE_Time_Value(5)));
  EXPECT_EQ((std::vector<std::string>{"first", "immediate", "rearmed"}), processor.names());
  EXPECT_EQ(ACE_Time_Value(1), processor.expiries()[1].m_now);
  EXPECT_EQ(ACE_Time_Value(3), processor.expiries()[2].m_now);
  EXPECT_EQ((std::vector<const TimeoutData*>{&doomed}), processor.cancelled());
}

TEST(ManualTimers, CancelDisarmsOnceAndAFiredTimerCannotBeCancelled) {
  AssertionRecorder assertions;
  ManualTimerScheduler scheduler;
  RecordingProcessor processor;
  NamedData data("data"), other("other");
  const long lId = scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_FALSE(scheduler.cancelTimer(lId, &other));
  EXPECT_TRUE(scheduler.isArmed(lId));
  EXPECT_TRUE(scheduler.cancelTimer(lId, &data));
  EXPECT_FALSE(scheduler.cancelTimer(lId, &data));
  EXPECT_EQ(0u, scheduler.advance(ACE_Time_Value(2)));

  const long lFired = scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_NE(lId, lFired);  // ids are not reused
  EXPECT_TRUE(scheduler.fireNext());
  EXPECT_FALSE(scheduler.cancelTimer(lFired, &data));
  EXPECT_EQ(ACE_Time_Value(3), scheduler.now());
  EXPECT_EQ(1u, scheduler.numCancelled());
  EXPECT_EQ((std::vector<const TimeoutData*>{&data}), processor.cancelled());
  EXPECT_EQ((std::vector<std::string>{"in_pData == timer data"}), assertions.expressions());
}

TEST(ManualTimers, AnInactiveProcessorIsSkippedAndAFailedExpiryIsLogged) {
  LogCapture capture("tidewave.infra.Timer", LogLevel::DEBUG);
  ManualTimerScheduler scheduler;
  RecordingProcessor processor;
  NamedData data("data");
  processor.m_bActive = false;
  const long lSkipped = scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_EQ(1u, scheduler.advance(ACE_Time_Value(1)));
  EXPECT_TRUE(processor.expiries().empty());
  EXPECT_TRUE(capture.contains(LogLevel::DEBUG,
                               "timer " + std::to_string(lSkipped) + " dropped : processor not active"));

  processor.m_bActive = true;
  processor.m_bResult = false;
  const long lFailed = scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_EQ(1u, scheduler.advance(ACE_Time_Value(1)));
  EXPECT_EQ((std::vector<std::string>{"timer " + std::to_string(lFailed) +
                                      " : processTimeout failed"}),
            capture.messages(LogLevel::WARN));
}

TEST(ManualTimers, MisuseIsAnAssertionAndChangesNothing) {
  AssertionRecorder assertions;
  ManualTimerScheduler scheduler(ACE_Time_Value(10));
  RecordingProcessor processor;
  NamedData data("data");
  EXPECT_EQ(-1, scheduler.scheduleTimer(nullptr, &data, ACE_Time_Value(1)));
  EXPECT_EQ(-1, scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(-1)));
  EXPECT_EQ(0u, scheduler.advance(ACE_Time_Value(-1)));
  EXPECT_EQ(0u, scheduler.advanceTo(ACE_Time_Value(5)));
  EXPECT_EQ(ACE_Time_Value(10), scheduler.now());

  std::size_t uiNested = 99;
  processor.m_onExpiry = [&](const NamedData*) { uiNested = scheduler.advance(ACE_Time_Value(1)); };
  scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_EQ(1u, scheduler.advanceTo(ACE_Time_Value(20)));
  EXPECT_EQ(0u, uiNested);
  EXPECT_EQ(ACE_Time_Value(20), scheduler.now());
  EXPECT_EQ((std::vector<std::string>{"in_pProcessor != 0", "in_delay >= ACE_Time_Value::zero",
                                      "in_delta >= ACE_Time_Value::zero", "in_time >= now()",
                                      "!m_bAdvancing"}),
            assertions.expressions());
}

}  // namespace
}  // namespace Omvera
