#include "tidewave/infra/TimeoutStateNoT.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("TimeoutState", "tidewave.infra.TimeoutState")

namespace Omvera {

namespace {
// Signed milliseconds (ACE_Time_Value::msec() is unsigned).
long long signedMsec(const ACE_Time_Value& in_value) {
  return static_cast<long long>(in_value.sec()) * 1000 + in_value.usec() / 1000;
}
}  // namespace

TimeoutStateNoT::TimeoutStateNoT(const ACE_Time_Value& in_timeout) : m_timeout(in_timeout) {}

TimeoutStateNoT::~TimeoutStateNoT() {
  if (m_bTimerArmed) cancelTimer();
}

bool TimeoutStateNoT::initialize(TimerScheduler* in_pScheduler, TimeoutProcessor* in_pProcessor) {
  if (!Assertion(in_pScheduler != nullptr && in_pProcessor != nullptr,
                 "in_pScheduler != 0 && in_pProcessor != 0", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return false;
  }
  if (m_bTimerArmed) cancelTimer();
  m_pScheduler = in_pScheduler;
  m_pProcessor = in_pProcessor;
  return true;
}

bool TimeoutStateNoT::scheduleTimer() {
  if (!Assertion(m_pScheduler != nullptr, "m_pScheduler != 0", fileScopeLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  if (m_bTimerArmed) cancelTimer();
  const ACE_Time_Value timeout = getTimeout_i();
  const long lTimerId = m_pScheduler->scheduleTimer(m_pProcessor, this, timeout);
  if (lTimerId == -1) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR,
               "scheduleTimer failed for a timeout of " << signedMsec(timeout) << " ms");
    return false;
  }
  m_lTimerId = lTimerId;
  m_bTimerArmed = true;
  return true;
}

bool TimeoutStateNoT::cancelTimer() {
  if (!m_bTimerArmed) return false;
  m_bTimerArmed = false;
  return m_pScheduler->cancelTimer(m_lTimerId, this);
}

bool TimeoutStateNoT::isOurTimeout(const TimeoutEvent& in_event) const {
  return m_bTimerArmed && in_event.getData() == static_cast<const TimeoutData*>(this);
}

bool TimeoutStateNoT::processOurTimeoutEvent(const TimeoutEvent& in_event,
                                             std::string& out_strStateName) {
  m_bTimerArmed = false;
  return processTimeout_i(in_event, out_strStateName);
}

}  // namespace Omvera
