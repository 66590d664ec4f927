// Timers: the task's timers on its own thread (short real delays, bounded waits) and the
// manual scheduler that drives timer logic without waiting.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/ReplacedNew.h"
#include "support/TaskTestSupport.h"
#include "support/Wait.h"
#include "tidewave/infra/ManualTimerScheduler.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerQueue.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::runOnTask;
using Test::s_lAllocations;
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
    return true;
  }
  bool onTimeoutCancelled(const TimeoutData* in_pData) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vCancelled.push_back(in_pData);
    return true;
  }
  bool isActive() const override { return true; }

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
    const std::vector<std::string> vNames = names();
    return std::find(vNames.begin(), vNames.end(), in_strName) != vNames.end();
  }
  std::vector<const TimeoutData*> cancelled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vCancelled;
  }
  std::function<void(const NamedData*)> m_onExpiry;

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
  task.stop();
  task.waitUntilDone();
}

// Tries to arm a timer right after the task served its kill or its stop completion.
class ArmingAfterTheEndTask : public StaticReactorTaskImpl {
 public:
  ~ArmingAfterTheEndTask() override { killAndWait(); }
  long m_lArmedAfterEnd = 0;
  std::size_t m_uiArmedAfterEnd = 0;

 protected:
  void postMOCallProcessing(int in_iStatus, const char* in_szName) override {
    StaticReactorTaskImpl::postMOCallProcessing(in_iStatus, in_szName);
    const std::string strName = in_szName;
    if (strName == "ManageableTaskImplBase::kill" ||
        strName == "ManageableTaskImplBase::stopCompleted") {
      m_lArmedAfterEnd = scheduleTimer(&m_processor, &m_data, msec(1));
      m_uiArmedAfterEnd = numArmedTimers();
    }
  }

 private:
  RecordingProcessor m_processor;
  NamedData m_data{"after the end"};
};

TEST(TaskTimers, OnceStopCompletedOrKilledTimersAreDroppedAndRefused) {
  for (const bool bKill : {false, true}) {
    SCOPED_TRACE(bKill ? "kill" : "stop");
    RecordingProcessor processor;
    NamedData hour("an hour");
    ArmingAfterTheEndTask task;
    ASSERT_TRUE(task.start());
    ASSERT_NE(-1, task.scheduleTimer(&processor, &hour, msec(3600 * 1000)));
    ASSERT_TRUE(bKill ? task.kill() : task.stop());
    ASSERT_TRUE(task.waitUntilDone());
    EXPECT_EQ(-1, task.m_lArmedAfterEnd);
    EXPECT_EQ(0u, task.m_uiArmedAfterEnd);
    EXPECT_EQ(-1, task.scheduleTimer(&processor, &hour, msec(1)));
    EXPECT_TRUE(processor.expiries().empty());
  }
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

TEST(TaskTimers, ABurstOfEarliestTimersFromAnotherThreadAllFireThoughTheirWakeUpsCoalesce) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  RecordingProcessor processor;
  NamedData late("late");
  const long lLate = task.scheduleTimer(&processor, &late, ACE_Time_Value(60));
  ASSERT_TRUE(runOnTask(task, [] {}));  // the task sleeps until the 60 s deadline
  // Each delay is shorter than the one before, so every timer becomes the earliest and
  // asks for a wake-up, mostly while an earlier one is still queued. Only the last ones
  // are short: should the task miss the wake-up of one of them, it sleeps until a
  // deadline of 30 s or more and they never fire within the wait.
  const std::size_t uiFAR = 180, uiSHORT = 20;
  std::vector<NamedData> vData(uiFAR + uiSHORT, NamedData("burst"));
  std::vector<long> vDelaysMs, vIds;
  for (std::size_t i = 0; i < uiFAR; ++i) vDelaysMs.push_back(50000 - 100 * static_cast<long>(i));
  for (std::size_t i = 0; i < uiSHORT; ++i) vDelaysMs.push_back(40 - static_cast<long>(i));
  std::vector<Clock::time_point> vArmedAt(vData.size());
  std::mutex firedMutex;
  std::vector<std::pair<std::size_t, Clock::time_point>> vFired;
  processor.m_onExpiry = [&](const NamedData* in_pData) {
    std::lock_guard<std::mutex> lock(firedMutex);
    vFired.emplace_back(static_cast<std::size_t>(in_pData - vData.data()), Clock::now());
  };
  for (std::size_t i = 0; i < vData.size(); ++i) {
    vArmedAt[i] = Clock::now();
    vIds.push_back(task.scheduleTimer(&processor, &vData[i], msec(vDelaysMs[i])));
    ASSERT_NE(-1, vIds.back());
  }
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard<std::mutex> lock(firedMutex);
    return vFired.size() >= uiSHORT;
  }));
  {
    std::lock_guard<std::mutex> lock(firedMutex);
    std::set<std::size_t> firedIndices;
    for (const auto& fired : vFired) {
      firedIndices.insert(fired.first);
      EXPECT_GE(fired.first, uiFAR);
      EXPECT_GE(fired.second - vArmedAt[fired.first],
                std::chrono::milliseconds(vDelaysMs[fired.first]));
    }
    EXPECT_EQ(uiSHORT, firedIndices.size());
  }
  for (std::size_t i = 0; i < uiFAR; ++i) EXPECT_TRUE(task.cancelTimer(vIds[i], &vData[i]));
  EXPECT_TRUE(task.cancelTimer(lLate, &late));
  task.stop();
  task.waitUntilDone();
}

// Counts its cancellations without allocating.
class CountingProcessor : public TimeoutProcessor {
 public:
  bool processTimeout(const ACE_Time_Value&, const TimeoutData*) override { return true; }
  bool onTimeoutCancelled(const TimeoutData*) override {
    ++m_iCancelled;
    return true;
  }
  int m_iCancelled = 0;
};

TEST(TaskTimers, ArmingFromAnotherThreadWakesTheTaskWithoutAllocatingOnceWarm) {
  StaticReactorTaskImpl task;
  ASSERT_TRUE(task.start());
  CountingProcessor processor;
  TimeoutData data;
  long lAllocations = 0;
  for (int iRound = 0; iRound < 20; ++iRound) {
    // The task sleeps without a deadline: the arming queues a wake-up.
    ASSERT_TRUE(runOnTask(task, [] {}));
    const long lBefore = s_lAllocations;
    const long lId = task.scheduleTimer(&processor, &data, ACE_Time_Value(60));
    const bool bCancelled = task.cancelTimer(lId, &data);
    if (iRound > 0) lAllocations += s_lAllocations - lBefore;
    ASSERT_TRUE(bCancelled);
  }
  EXPECT_EQ(0, lAllocations);
  EXPECT_EQ(20, processor.m_iCancelled);
  task.stop();
  task.waitUntilDone();
}

// ---------------------------------------------------------------------------------------
// The timer queue under both schedulers

TEST(TimerQueueStorage, ThousandsOfTimersKeepDeadlineThenArmingOrderThroughCancelsAndReuse) {
  TimerQueue queue;
  CountingProcessor processor;
  const int iTIMERS = 3000;
  std::vector<TimeoutData> vData(iTIMERS);
  struct Armed {
    int m_iIndex;
    long m_lId;
    ACE_Time_Value m_deadline;
  };
  std::vector<Armed> vArmed;
  // Deadlines over 50 values, many equal; every third timer is cancelled as soon as the
  // next one is armed, so freed places are reused while the queue grows.
  for (int i = 0; i < iTIMERS; ++i) {
    const ACE_Time_Value deadline(100 + (i * 37) % 50, (i % 3) * 1000);
    const long lId = queue.add(&processor, &vData[i], deadline);
    ASSERT_GT(lId, 0);
    vArmed.push_back(Armed{i, lId, deadline});
    if (i % 3 == 1) {
      const Armed& doomed = vArmed[vArmed.size() - 2];
      ASSERT_TRUE(queue.cancel(doomed.m_lId, &vData[doomed.m_iIndex]));
      vArmed.erase(vArmed.end() - 2);
    }
  }
  ASSERT_EQ(vArmed.size(), queue.size());
  for (const Armed& armed : vArmed) {
    ACE_Time_Value deadline;
    ASSERT_TRUE(queue.getDeadline(armed.m_lId, deadline));
    EXPECT_EQ(armed.m_deadline, deadline);
  }
  std::stable_sort(vArmed.begin(), vArmed.end(), [](const Armed& in_a, const Armed& in_b) {
    return in_a.m_deadline < in_b.m_deadline;
  });
  TimerQueue::Timer timer;
  std::vector<long> vPopped;
  while (queue.popDue(ACE_Time_Value(200), timer)) {
    EXPECT_EQ(&vData[vArmed[vPopped.size()].m_iIndex], timer.m_pData);
    EXPECT_EQ(vArmed[vPopped.size()].m_deadline, timer.m_deadline);
    vPopped.push_back(timer.m_lId);
    if (vPopped.size() == vArmed.size()) break;
  }
  EXPECT_EQ(vArmed.size(), vPopped.size());
  EXPECT_TRUE(queue.empty());
}

TEST(TimerQueueStorage, AnIdIsNeverHandedOutTwiceAndAStaleIdNamesNoTimer) {
  TimerQueue queue;
  CountingProcessor processor;
  TimeoutData data;
  std::set<long> ids;
  const ACE_Time_Value deadline(10);
  // Cancelled, fired, dropped by clear() and by close(): each frees the place of its
  // timer for the next one.
  for (int i = 0; i < 400; ++i) {
    const long lStale = queue.add(&processor, &data, deadline);
    ASSERT_GT(lStale, 0);
    EXPECT_TRUE(ids.insert(lStale).second) << "id " << lStale << " handed out twice";
    TimerQueue::Timer timer;
    switch (i % 4) {
      case 0:
        ASSERT_TRUE(queue.cancel(lStale, &data));
        break;
      case 1:
        ASSERT_TRUE(queue.popDue(deadline, timer));
        EXPECT_EQ(lStale, timer.m_lId);
        break;
      case 2:
        ASSERT_EQ(1u, queue.clear());
        break;
      default:
        ASSERT_EQ(1u, queue.close());
        queue.open();
        break;
    }
    const long lFresh = queue.add(&processor, &data, deadline);
    EXPECT_TRUE(ids.insert(lFresh).second) << "id " << lFresh << " handed out twice";
    ACE_Time_Value staleDeadline;
    EXPECT_FALSE(queue.isArmed(lStale));
    EXPECT_FALSE(queue.getDeadline(lStale, staleDeadline));
    EXPECT_FALSE(queue.cancel(lStale, nullptr));
    EXPECT_TRUE(queue.cancel(lFresh, &data));
  }
  EXPECT_FALSE(queue.isArmed(0));
  EXPECT_FALSE(queue.isArmed(-1));
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
  EXPECT_EQ(start + ACE_Time_Value(10), scheduler.now());
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
  EXPECT_TRUE(scheduler.cancelTimer(lId, &data));
  EXPECT_FALSE(scheduler.cancelTimer(lId, &data));
  EXPECT_EQ(0u, scheduler.advance(ACE_Time_Value(2)));

  const long lFired = scheduler.scheduleTimer(&processor, &data, ACE_Time_Value(1));
  EXPECT_NE(lId, lFired);  // ids are not reused
  EXPECT_TRUE(scheduler.fireNext());
  EXPECT_FALSE(scheduler.cancelTimer(lFired, &data));
  EXPECT_EQ((std::vector<const TimeoutData*>{&data}), processor.cancelled());
  EXPECT_EQ((std::vector<std::string>{"in_pData == timer data"}), assertions.expressions());
}

}  // namespace
}  // namespace Omvera
