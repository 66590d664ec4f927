#pragma once
// A timer scheduler whose clock is moved by its caller, for tests and for engine authors:
// a 300 s timeout is checked by advance(300 s), synchronously and without sleeping.
//
// Time starts at the value given to the constructor (zero by default) and only moves
// through advance(), advanceTo() and fireNext(). While time moves, every timer whose
// deadline is reached fires, in deadline order (equal deadlines in the order they were
// armed), on the thread that moves time; the clock stands at each timer's own deadline
// while it fires, so processTimeout receives the deadline as "now" and timers armed from
// inside a callback are measured from there. A timer armed or cancelled by a callback is
// honoured within the same advance when it falls inside the advanced span.
//
// Any thread may arm and cancel timers; one thread at a time moves time (moving time from
// inside a timer callback is an assertion). The scheduler owns nothing: processors and
// data must stay alive while their timers are armed.

#include <cstddef>
#include <mutex>

#include <ace/Time_Value.h>

#include "tidewave/infra/TimerQueue.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class ManualTimerScheduler : public TimerScheduler {
 public:
  explicit ManualTimerScheduler(const ACE_Time_Value& in_startTime = ACE_Time_Value::zero);
  ~ManualTimerScheduler() override;
  ManualTimerScheduler(const ManualTimerScheduler&) = delete;
  ManualTimerScheduler& operator=(const ManualTimerScheduler&) = delete;

  // TimerScheduler. The deadline is now() + in_delay. cancelTimer calls the processor's
  // onTimeoutCancelled on success.
  long scheduleTimer(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
                     const ACE_Time_Value& in_delay) override;
  bool cancelTimer(long in_lTimerId, const TimeoutData* in_pData) override;

  // Moves the clock forward by in_delta (negative: assertion, nothing moves) and fires
  // what falls due; returns the number of timers fired (dropped inactive ones included).
  std::size_t advance(const ACE_Time_Value& in_delta);
  // Moves the clock to in_time (earlier than now(): assertion, nothing moves).
  std::size_t advanceTo(const ACE_Time_Value& in_time);
  // Moves the clock to the earliest deadline and fires what is due then. False (clock
  // unchanged) when nothing is armed.
  bool fireNext();

  ACE_Time_Value now() const;

  // What is armed.
  std::size_t numArmed() const { return m_timers.size(); }
  bool isArmed(long in_lTimerId) const { return m_timers.isArmed(in_lTimerId); }
  // Absolute deadline of the earliest timer / of timer in_lTimerId; false when none.
  bool nextDeadline(ACE_Time_Value& out_deadline) const;
  bool getDeadline(long in_lTimerId, ACE_Time_Value& out_deadline) const;
  // Time left until the earliest deadline; false when nothing is armed.
  bool timeUntilNext(ACE_Time_Value& out_delay) const;

  // Counters since construction.
  std::size_t numScheduled() const;
  std::size_t numCancelled() const;
  std::size_t numFired() const;

  // Drops every armed timer without calling anything; returns how many.
  std::size_t clear() { return m_timers.clear(); }

 private:
  std::size_t advanceTo_i(const ACE_Time_Value& in_target);

  TimerQueue m_timers;
  mutable std::mutex m_mutex;  // guards the clock and the counters
  ACE_Time_Value m_now;
  std::size_t m_uiScheduled = 0;
  std::size_t m_uiCancelled = 0;
  std::size_t m_uiFired = 0;
  bool m_bAdvancing = false;
};

}  // namespace Omvera
