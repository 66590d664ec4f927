#include "tidewave/infra/TimerScheduler.h"

#include <chrono>
#include <cstdint>
#include <vector>

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

static_assert(sizeof(long) >= 8, "timer ids carry a slot index and a generation in a long");

namespace {
constexpr std::uint64_t s_ullMAX_GENERATION = (std::uint64_t{1} << (63 - 24)) - 1;
constexpr std::uint32_t s_uiSLOT_MASK = (std::uint32_t{1} << 24) - 1;
constexpr std::size_t s_uiMAX_SLOTS = std::size_t{1} << 24;

// Doubles the capacity of a full vector, so that the next element costs no allocation
// of the vector's own.
template <typename T>
void growIfFull(std::vector<T>& io_vItems) {
  if (io_vItems.size() == io_vItems.capacity()) io_vItems.reserve(io_vItems.capacity() * 2);
}
}  // namespace

TimerQueue::TimerQueue() {
  static_assert(s_uiSLOT_BITS == 24, "s_uiSLOT_MASK and s_ullMAX_GENERATION assume 24 bits");
  m_vHeap.reserve(s_uiINITIAL_CAPACITY);
  m_vSlots.reserve(s_uiINITIAL_CAPACITY);
}

ACE_Time_Value TimerQueue::deadlineOf(const HeapNode& in_node) {
  return ACE_Time_Value(static_cast<time_t>(in_node.m_llSec),
                        static_cast<suseconds_t>(in_node.m_llUsec));
}

std::uint32_t TimerQueue::findSlot_i(long in_lId) const {
  if (in_lId <= 0) return s_uiNONE;
  const std::uint64_t ullId = static_cast<std::uint64_t>(in_lId);
  const std::uint32_t uiSlot = static_cast<std::uint32_t>(ullId & s_uiSLOT_MASK);
  if (uiSlot >= m_vSlots.size()) return s_uiNONE;
  const Slot& slot = m_vSlots[uiSlot];
  if (slot.m_uiHeapIndex == s_uiNONE || slot.m_ullGeneration != (ullId >> s_uiSLOT_BITS)) {
    return s_uiNONE;
  }
  return uiSlot;
}

std::uint32_t TimerQueue::takeSlot_i() {
  std::uint32_t uiSlot = m_uiFreeHead;
  if (uiSlot != s_uiNONE) {
    m_uiFreeHead = m_vSlots[uiSlot].m_uiNextFree;
  } else {
    if (m_vSlots.size() == s_uiMAX_SLOTS) return s_uiNONE;
    growIfFull(m_vSlots);
    uiSlot = static_cast<std::uint32_t>(m_vSlots.size());
    m_vSlots.push_back(Slot{nullptr, nullptr, 0, s_uiNONE, s_uiNONE});
  }
  ++m_vSlots[uiSlot].m_ullGeneration;
  return uiSlot;
}

void TimerQueue::releaseSlot_i(std::uint32_t in_uiSlot) {
  Slot& slot = m_vSlots[in_uiSlot];
  slot.m_uiHeapIndex = s_uiNONE;
  slot.m_pProcessor = nullptr;
  slot.m_pData = nullptr;
  // A slot whose generation cannot grow any more is retired: reusing it would hand out
  // an id already given.
  if (slot.m_ullGeneration == s_ullMAX_GENERATION) return;
  slot.m_uiNextFree = m_uiFreeHead;
  m_uiFreeHead = in_uiSlot;
}

void TimerQueue::place_i(std::uint32_t in_uiIndex, const HeapNode& in_node) {
  m_vHeap[in_uiIndex] = in_node;
  m_vSlots[in_node.m_uiSlot].m_uiHeapIndex = in_uiIndex;
}

void TimerQueue::siftUp_i(std::uint32_t in_uiIndex) {
  const HeapNode node = m_vHeap[in_uiIndex];
  while (in_uiIndex > 0) {
    const std::uint32_t uiParent = (in_uiIndex - 1) / 2;
    if (!earlier(node, m_vHeap[uiParent])) break;
    place_i(in_uiIndex, m_vHeap[uiParent]);
    in_uiIndex = uiParent;
  }
  place_i(in_uiIndex, node);
}

void TimerQueue::siftDown_i(std::uint32_t in_uiIndex) {
  const HeapNode node = m_vHeap[in_uiIndex];
  const std::size_t uiSize = m_vHeap.size();
  for (;;) {
    const std::size_t uiLeft = 2 * static_cast<std::size_t>(in_uiIndex) + 1;
    if (uiLeft >= uiSize) break;
    std::size_t uiChild = uiLeft;
    if (uiLeft + 1 < uiSize && earlier(m_vHeap[uiLeft + 1], m_vHeap[uiLeft])) ++uiChild;
    if (!earlier(m_vHeap[uiChild], node)) break;
    place_i(in_uiIndex, m_vHeap[uiChild]);
    in_uiIndex = static_cast<std::uint32_t>(uiChild);
  }
  place_i(in_uiIndex, node);
}

void TimerQueue::removeAt_i(std::uint32_t in_uiIndex, Timer& out_timer) {
  const HeapNode& node = m_vHeap[in_uiIndex];
  const Slot& slot = m_vSlots[node.m_uiSlot];
  out_timer.m_lId = static_cast<long>((slot.m_ullGeneration << s_uiSLOT_BITS) | node.m_uiSlot);
  out_timer.m_pProcessor = slot.m_pProcessor;
  out_timer.m_pData = slot.m_pData;
  out_timer.m_deadline = deadlineOf(node);
  releaseSlot_i(node.m_uiSlot);
  const HeapNode last = m_vHeap.back();
  m_vHeap.pop_back();
  if (in_uiIndex < m_vHeap.size()) {
    place_i(in_uiIndex, last);
    if (in_uiIndex > 0 && earlier(last, m_vHeap[(in_uiIndex - 1) / 2])) {
      siftUp_i(in_uiIndex);
    } else {
      siftDown_i(in_uiIndex);
    }
  }
  m_uiArmed.store(m_vHeap.size(), std::memory_order_relaxed);
}

std::size_t TimerQueue::dropAll_i() {
  const std::size_t uiDropped = m_vHeap.size();
  for (const HeapNode& node : m_vHeap) releaseSlot_i(node.m_uiSlot);
  m_vHeap.clear();
  m_uiArmed.store(0, std::memory_order_relaxed);
  return uiDropped;
}

long TimerQueue::add(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
                     const ACE_Time_Value& in_deadline, bool* out_pBecameFirst) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bOpen) return -1;
  const std::uint32_t uiSlot = takeSlot_i();
  if (!Assertion(uiSlot != s_uiNONE, "armed timers < 2^24", fileScopeLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return -1;
  }
  Slot& slot = m_vSlots[uiSlot];
  slot.m_pProcessor = in_pProcessor;
  slot.m_pData = in_pData;
  const long lId = static_cast<long>((slot.m_ullGeneration << s_uiSLOT_BITS) | uiSlot);
  growIfFull(m_vHeap);
  m_vHeap.push_back(HeapNode{static_cast<std::int64_t>(in_deadline.sec()),
                             static_cast<std::int64_t>(in_deadline.usec()),
                             m_ullNextSequence++, uiSlot});
  siftUp_i(static_cast<std::uint32_t>(m_vHeap.size() - 1));
  m_uiArmed.store(m_vHeap.size(), std::memory_order_relaxed);
  if (out_pBecameFirst != nullptr) *out_pBecameFirst = (slot.m_uiHeapIndex == 0);
  return lId;
}

TimerQueue::CancelResult TimerQueue::remove(long in_lId, const TimeoutData* in_pData,
                                            Timer& out_timer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::uint32_t uiSlot = findSlot_i(in_lId);
  if (uiSlot == s_uiNONE) return NOT_ARMED;
  const Slot& slot = m_vSlots[uiSlot];
  if (in_pData != nullptr && in_pData != slot.m_pData) return DATA_MISMATCH;
  removeAt_i(slot.m_uiHeapIndex, out_timer);
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
  if (m_vHeap.empty() || in_now < deadlineOf(m_vHeap.front())) return false;
  removeAt_i(0, out_timer);
  return true;
}

bool TimerQueue::nextDeadline(ACE_Time_Value& out_deadline) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_vHeap.empty()) return false;
  out_deadline = deadlineOf(m_vHeap.front());
  return true;
}

bool TimerQueue::isArmed(long in_lId) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return findSlot_i(in_lId) != s_uiNONE;
}

bool TimerQueue::getDeadline(long in_lId, ACE_Time_Value& out_deadline) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::uint32_t uiSlot = findSlot_i(in_lId);
  if (uiSlot == s_uiNONE) return false;
  out_deadline = deadlineOf(m_vHeap[m_vSlots[uiSlot].m_uiHeapIndex]);
  return true;
}

std::size_t TimerQueue::size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_vHeap.size();
}

std::size_t TimerQueue::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bOpen = false;
  return dropAll_i();
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
  return dropAll_i();
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
