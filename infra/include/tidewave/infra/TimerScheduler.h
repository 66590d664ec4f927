#pragma once
// Timers: the scheduler interface, the object that receives expiries, the identity of a
// scheduled timeout and the event that carries an expiry to a state machine.
//
// A timer is armed with scheduleTimer(processor, data, delay) and fires once: the
// scheduler calls processor->processTimeout(now, data) on its own thread (the task thread
// for a task, the thread calling advance() for the manual scheduler). The data pointer is
// the timer's identity; neither the processor nor the data is owned by the scheduler, and
// both must stay alive while the timer is armed.

#include <ace/Time_Value.h>

#include "tidewave/infra/Object.h"

namespace Omvera {

// Identifies a scheduled timeout. Carries nothing: its address is the identity that comes
// back with the expiry. Owned by whoever scheduled the timer (for a timed state, the state
// itself).
class TimeoutData : public virtual Object {
 public:
  ~TimeoutData() override;
};

// Receives expiries. Called on the scheduler's thread only.
class TimeoutProcessor : public virtual Object {
 public:
  ~TimeoutProcessor() override;

  // The timer scheduled with in_pData has expired at in_now (wall-clock time for a task,
  // the manual time for the manual scheduler). False reports a failed handling; the
  // scheduler logs it and goes on.
  virtual bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pData) = 0;
  // Called by cancelTimer(), on the cancelling thread, after a timer of this processor was
  // removed before its expiry. The result is logged when false, nothing else.
  virtual bool onTimeoutCancelled(const TimeoutData* in_pData);
  // Asked at expiry, just before processTimeout: a processor that answers false is not
  // called and the expiry is dropped.
  virtual bool isActive() const;
};

// A timer's expiry as an event: the time at which it fired and the data it was scheduled
// with (not owned). Copyable; used by one thread at a time.
class TimeoutEvent {
 public:
  TimeoutEvent() = default;
  TimeoutEvent(const ACE_Time_Value& in_timeValue, const TimeoutData* in_pData)
      : m_timeValue(in_timeValue), m_pData(in_pData) {}
  TimeoutEvent(const TimeoutEvent&) = default;
  TimeoutEvent& operator=(const TimeoutEvent&) = default;
  virtual ~TimeoutEvent();

  const ACE_Time_Value& getTimeValue() const { return m_timeValue; }
  const TimeoutData* getData() const { return m_pData; }

 private:
  ACE_Time_Value m_timeValue;
  const TimeoutData* m_pData = nullptr;
};

// Arms and cancels one-shot timers. Implementations say from which threads they may be
// called; both in this library (the task and the manual scheduler) accept any thread.
class TimerScheduler {
 public:
  virtual ~TimerScheduler();

  // Arms a timer that fires once, in_delay from now (zero: at the next opportunity).
  // Returns the timer id (never -1; ids are not reused while the scheduler lives, up to
  // wrap-around of a long) or -1 when the timer cannot be armed: null processor or
  // negative delay (both assertions), or a scheduler that no longer runs timers.
  virtual long scheduleTimer(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
                             const ACE_Time_Value& in_delay) = 0;
  // Disarms timer in_lTimerId. in_pData, when not null, must be the data the timer was
  // scheduled with (a mismatch is an assertion and leaves the timer armed). Returns true
  // when the timer was armed and will now never fire; false when it has already fired,
  // is firing right now, was cancelled before, or never existed.
  virtual bool cancelTimer(long in_lTimerId, const TimeoutData* in_pData) = 0;
};

}  // namespace Omvera
