#include "tidewave/infra/TimerScheduler.h"

#include <chrono>
#include <climits>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/TimerQueue.h"

OMVERA_MODULE_LOGGER("Timer", "tidewave.infra.Timer")

namespace Omvera {

TimeoutData::~TimeoutData() = default;

TimeoutProcessor::~TimeoutProcessor() = default;

bool TimeoutProcessor::onTimeoutCancelled(const TimeoutData*) { return true; }

bool TimeoutProcessor::isActive() const { return true; }

TimeoutEvent::~TimeoutEvent() = default;

TimerScheduler::~TimerScheduler() = default;

long TimerQueue::nextId_i() {
  // Ids grow, so that a stale id kept by an owner after its timer fired never names a
  // newer timer; after wrap-around an id still armed is skipped.
  do {
    m_lLastId = (m_lLastId == LONG_MAX) ? 1 : m_lLastId + 1;
  } while (m_timers.count(m_lLastId) != 0);
  return m_lLastId;
}

long TimerQueue::add(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
                     const ACE_Time_Value& in_deadline, bool* out_pBecameFirst) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bOpen) return -1;
  const long lId = nextId_i();
  const OrderKey key(in_deadline, m_ullNextSequence++);
  auto orderIter = m_order.emplace(key, lId).first;
  m_timers.emplace(lId, Entry{in_pProcessor, in_pData, key});
  m_uiArmed.store(m_timers.size(), std::memory_order_relaxed);
  if (out_pBecameFirst != nullptr) *out_pBecameFirst = (orderIter == m_order.begin());
  return lId;
}

TimerQueue::CancelResult TimerQueue::remove(long in_lId, const TimeoutData* in_pData,
                                            Timer& out_timer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto timerIter = m_timers.find(in_lId);
  if (timerIter == m_timers.end()) return NOT_ARMED;
  const Entry& entry = timerIter->second;
  if (in_pData != nullptr && in_pData != entry.m_pData) return DATA_MISMATCH;
  out_timer.m_lId = in_lId;
  out_timer.m_pProcessor = entry.m_pProcessor;
  out_timer.m_pData = entry.m_pData;
  out_timer.m_deadline = entry.m_key.first;
  m_order.erase(entry.m_key);
  m_timers.erase(timerIter);
  m_uiArmed.store(m_timers.size(), std::memory_order_relaxed);
  return CANCELLED;
}

bool TimerQueue::validTimerRequest(const TimeoutProcessor* in_pProcessor,
                                   const ACE_Time_Value& in_delay) {
  return Assertion(in_pProcessor != nullptr, "in_pProcessor != 0", fileScopeLogger(),
                   s_szMODULE_NAME, __LINE__) &&
         Assertion(in_delay >= ACE_Time_Value::zero, "in_delay >= ACE_Time_Value::zero",
                   fileScopeLogger(), s_szMODULE_NAME, __LINE__);
}

bool TimerQueue::cancel(long in_lId, const TimeoutData* in_pData) {
  Timer timer;
  const CancelResult eResult = remove(in_lId, in_pData, timer);
  if (eResult == DATA_MISMATCH) {
    Assertion(false, "in_pData == timer data", fileScopeLogger(), s_szMODULE_NAME, __LINE__);
    return false;
  }
  if (eResult == NOT_ARMED) return false;
  if (!timer.m_pProcessor->onTimeoutCancelled(timer.m_pData)) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               "timer " << in_lId << " : onTimeoutCancelled failed");
  }
  return true;
}

bool TimerQueue::popDue(const ACE_Time_Value& in_now, Timer& out_timer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_order.empty()) return false;
  auto orderIter = m_order.begin();
  if (in_now < orderIter->first.first) return false;
  auto timerIter = m_timers.find(orderIter->second);
  out_timer.m_lId = orderIter->second;
  out_timer.m_pProcessor = timerIter->second.m_pProcessor;
  out_timer.m_pData = timerIter->second.m_pData;
  out_timer.m_deadline = orderIter->first.first;
  m_timers.erase(timerIter);
  m_order.erase(orderIter);
  m_uiArmed.store(m_timers.size(), std::memory_order_relaxed);
  return true;
}

bool TimerQueue::nextDeadline(ACE_Time_Value& out_deadline) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_order.empty()) return false;
  out_deadline = m_order.begin()->first.first;
  return true;
}

bool TimerQueue::isArmed(long in_lId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_timers.count(in_lId) != 0;
}

bool TimerQueue::getDeadline(long in_lId, ACE_Time_Value& out_deadline) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto timerIter = m_timers.find(in_lId);
  if (timerIter == m_timers.end()) return false;
  out_deadline = timerIter->second.m_key.first;
  return true;
}

std::size_t TimerQueue::size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_timers.size();
}

std::size_t TimerQueue::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bOpen = false;
  const std::size_t uiDropped = m_timers.size();
  m_timers.clear();
  m_order.clear();
  m_uiArmed.store(0, std::memory_order_relaxed);
  return uiDropped;
}

void TimerQueue::open() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bOpen = true;
}

bool TimerQueue::isOpen() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bOpen;
}

std::size_t TimerQueue::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::size_t uiDropped = m_timers.size();
  m_timers.clear();
  m_order.clear();
  m_uiArmed.store(0, std::memory_order_relaxed);
  return uiDropped;
}

void TimerQueue::fire(const Timer& in_timer, const ACE_Time_Value& in_now) {
  if (!in_timer.m_pProcessor->isActive()) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG,
               "timer " << in_timer.m_lId << " dropped : processor not active");
    return;
  }
  if (!in_timer.m_pProcessor->processTimeout(in_now, in_timer.m_pData)) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::WARN,
               "timer " << in_timer.m_lId << " : processTimeout failed");
  }
}

ACE_Time_Value TimerQueue::monotonicNow(bool in_bRoundUp) {
  const long long llNanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
  const long long llMicros = llNanos / 1000 + ((in_bRoundUp && llNanos % 1000 != 0) ? 1 : 0);
  return ACE_Time_Value(static_cast<time_t>(llMicros / 1000000),
                        static_cast<suseconds_t>(llMicros % 1000000));
}

}  // namespace Omvera
