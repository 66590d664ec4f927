#include "tidewave/infra/ManualTimerScheduler.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("ManualTimerScheduler", "tidewave.infra.ManualTimerScheduler")

namespace Omvera {

ManualTimerScheduler::ManualTimerScheduler(const ACE_Time_Value& in_startTime)
    : m_now(in_startTime) {}

ManualTimerScheduler::~ManualTimerScheduler() = default;

long ManualTimerScheduler::scheduleTimer(TimeoutProcessor* in_pProcessor,
                                         const TimeoutData* in_pData,
                                         const ACE_Time_Value& in_delay) {
  if (!TimerQueue::validTimerRequest(in_pProcessor, in_delay)) return -1;
  ACE_Time_Value deadline;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    deadline = m_now + in_delay;
    ++m_uiScheduled;
  }
  const long lId = m_timers.add(in_pProcessor, in_pData, deadline);
  OMVERA_LOG(fileScopeLogger(), LogLevel::TRACE,
             "timer " << lId << " armed, due at " << deadline.sec() << " s "
                       << deadline.usec() << " us");
  return lId;
}

bool ManualTimerScheduler::cancelTimer(long in_lTimerId, const TimeoutData* in_pData) {
  if (!m_timers.cancel(in_lTimerId, in_pData)) return false;
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_uiCancelled;
  return true;
}

std::size_t ManualTimerScheduler::advance(const ACE_Time_Value& in_delta) {
  if (!Assertion(in_delta >= ACE_Time_Value::zero, "in_delta >= ACE_Time_Value::zero",
                 fileScopeLogger(), s_szMODULE_NAME, __LINE__)) {
    return 0;
  }
  return advanceTo_i(now() + in_delta);
}

std::size_t ManualTimerScheduler::advanceTo(const ACE_Time_Value& in_time) {
  if (!Assertion(in_time >= now(), "in_time >= now()", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return 0;
  }
  return advanceTo_i(in_time);
}

bool ManualTimerScheduler::fireNext() {
  ACE_Time_Value deadline;
  if (!m_timers.nextDeadline(deadline)) return false;
  // A deadline behind the clock cannot exist: timers are armed at now() or later.
  advanceTo_i(deadline < now() ? now() : deadline);
  return true;
}

std::size_t ManualTimerScheduler::advanceTo_i(const ACE_Time_Value& in_target) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Assertion(!m_bAdvancing, "!m_bAdvancing", fileScopeLogger(), s_szMODULE_NAME,
                   __LINE__)) {
      return 0;
    }
    m_bAdvancing = true;
  }
  std::size_t uiFired = 0;
  TimerQueue::Timer timer;
  while (m_timers.popDue(in_target, timer)) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_now < timer.m_deadline) m_now = timer.m_deadline;
      ++m_uiFired;
    }
    ++uiFired;
    TimerQueue::fire(timer, timer.m_deadline);
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_now < in_target) m_now = in_target;
  m_bAdvancing = false;
  return uiFired;
}

ACE_Time_Value ManualTimerScheduler::now() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_now;
}

bool ManualTimerScheduler::nextDeadline(ACE_Time_Value& out_deadline) const {
  return m_timers.nextDeadline(out_deadline);
}

bool ManualTimerScheduler::getDeadline(long in_lTimerId, ACE_Time_Value& out_deadline) const {
  return m_timers.getDeadline(in_lTimerId, out_deadline);
}

bool ManualTimerScheduler::timeUntilNext(ACE_Time_Value& out_delay) const {
  ACE_Time_Value deadline;
  if (!m_timers.nextDeadline(deadline)) return false;
  const ACE_Time_Value current = now();
  out_delay = deadline < current ? ACE_Time_Value::zero : deadline - current;
  return true;
}

std::size_t ManualTimerScheduler::numScheduled() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uiScheduled;
}

std::size_t ManualTimerScheduler::numCancelled() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uiCancelled;
}

std::size_t ManualTimerScheduler::numFired() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uiFired;
}

}  // namespace Omvera
