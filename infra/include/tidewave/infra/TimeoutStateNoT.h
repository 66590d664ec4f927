#pragma once
// The untyped base of a timed state: a state that arms one timer for itself and knows its
// own expiry when it comes back as an event.
//
// The state object is the timer's TimeoutData: an expiry carries the state's address, and
// isOurTimeout() recognises it. While a timer is armed the state keeps its id (the timer
// identity, timerArmed() / getTimerId()); the identity ends when the timer is cancelled or
// when its expiry is processed by processOurTimeoutEvent().
//
// The thread that owns the state machine only (the thread on which the scheduler fires:
// the task thread, or the thread driving a ManualTimerScheduler). The scheduler and the
// processor are not owned; both must outlive the state while it has a timer armed, since
// the destructor cancels an armed timer.

#include <string>

#include <ace/Time_Value.h>

#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class TimeoutStateNoT : public TimeoutData {
 public:
  explicit TimeoutStateNoT(const ACE_Time_Value& in_timeout);
  // Cancels the armed timer, if any.
  ~TimeoutStateNoT() override;
  TimeoutStateNoT(const TimeoutStateNoT&) = delete;
  TimeoutStateNoT& operator=(const TimeoutStateNoT&) = delete;

  // Sets the scheduler on which the state arms its timers and the processor that receives
  // their expiries. A null argument is an assertion and returns false (nothing changes).
  // A timer armed on the previous scheduler is cancelled first.
  bool initialize(TimerScheduler* in_pScheduler, TimeoutProcessor* in_pProcessor);

  // Arms a timer for getTimeout_i(), cancelling the one armed before. False when the
  // state is not initialised (assertion) or the scheduler refuses (logged at ERROR); no
  // timer is armed then.
  bool scheduleTimer();
  // Cancels the armed timer and ends the identity. False when none is armed, or when the
  // scheduler had nothing left to cancel (the timer fired and its expiry is still on its
  // way); the identity ends in both cases.
  bool cancelTimer();

  // A timer is armed and in_event carries this state as its data.
  bool isOurTimeout(const TimeoutEvent& in_event) const;
  // Ends the identity, then returns processTimeout_i(in_event, out_strStateName).
  bool processOurTimeoutEvent(const TimeoutEvent& in_event, std::string& out_strStateName);

  // Replaces the timeout used by the next scheduleTimer(); an armed timer is not changed.
  void setTimeout(const ACE_Time_Value& in_timeout) { m_timeout = in_timeout; }
  // The timeout the next scheduleTimer() will use. Base: the one given to the constructor
  // or to setTimeout().
  virtual ACE_Time_Value getTimeout_i() const { return m_timeout; }

  bool timerArmed() const { return m_bTimerArmed; }
  // The armed timer's id; -1 when none is armed.
  long getTimerId() const { return m_bTimerArmed ? m_lTimerId : -1; }
  TimerScheduler* getTimerScheduler() const { return m_pScheduler; }
  TimeoutProcessor* getTimeoutProcessor() const { return m_pProcessor; }

 protected:
  // The state's reaction to its own timeout: sets the out state name, returns false on a
  // failed handling.
  virtual bool processTimeout_i(const TimeoutEvent& in_event, std::string& out_strStateName) = 0;

 private:
  TimerScheduler* m_pScheduler = nullptr;
  TimeoutProcessor* m_pProcessor = nullptr;
  ACE_Time_Value m_timeout;
  bool m_bTimerArmed = false;
  long m_lTimerId = -1;
};

}  // namespace Omvera
