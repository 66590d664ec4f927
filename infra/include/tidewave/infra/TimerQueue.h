#pragma once
// The deadline-ordered store of armed timers under both schedulers of this library (the
// task's and the manual one). It keeps timers and hands out the due ones; it never calls
// a processor itself except through fire(), which its owner calls outside any lock.
//
// Any thread: every operation takes the queue's own lock.

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <ace/Time_Value.h>

#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class TimerQueue {
 public:
  struct Timer {
    long m_lId = -1;
    TimeoutProcessor* m_pProcessor = nullptr;
    const TimeoutData* m_pData = nullptr;
    ACE_Time_Value m_deadline;
  };

  enum CancelResult { CANCELLED, NOT_ARMED, DATA_MISMATCH };

  TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // Adds a timer due at in_deadline (absolute, in the owner's clock). Timers with equal
  // deadlines fire in the order they were added. Returns the new id (positive, never
  // handed out again while the queue lives), or -1 when the queue is closed. out_pBecameFirst, when given, tells whether the new timer is now the
  // earliest one (its owner may then have to wake a thread sleeping until the old one).
  long add(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
           const ACE_Time_Value& in_deadline, bool* out_pBecameFirst = nullptr);
  // The scheduleTimer argument checks of both schedulers: a processor is given and the
  // delay is not negative (assertions "in_pProcessor != 0", "in_delay >= ACE_Time_Value::zero").
  static bool validTimerRequest(const TimeoutProcessor* in_pProcessor,
                                const ACE_Time_Value& in_delay);
  // Removes timer in_lId (see TimerScheduler::cancelTimer for in_pData); out_timer gets
  // the removed timer.
  CancelResult remove(long in_lId, const TimeoutData* in_pData, Timer& out_timer);
  // The cancelTimer of both schedulers: removes timer in_lId, then tells its processor
  // (onTimeoutCancelled, on the calling thread, outside the lock). True when the timer will
  // now never fire; false when it is not armed, or when in_pData names another timer's
  // data (assertion "in_pData == timer data").
  bool cancel(long in_lId, const TimeoutData* in_pData);
  // Removes and returns the earliest timer when its deadline is at or before in_now.
  bool popDue(const ACE_Time_Value& in_now, Timer& out_timer);
  // The earliest deadline; false when nothing is armed.
  bool nextDeadline(ACE_Time_Value& out_deadline) const;
  bool isArmed(long in_lId) const;
  bool getDeadline(long in_lId, ACE_Time_Value& out_deadline) const;
  std::size_t size() const;
  // Nothing armed; no lock taken. A timer added by another thread is seen here once that
  // thread's add has returned and something (a lock, a queue) ordered the two threads.
  bool empty() const { return m_uiArmed.load(std::memory_order_relaxed) == 0; }

  // A closed queue refuses new timers; closing drops every armed timer (they never fire)
  // and returns how many were dropped. A new queue is open.
  std::size_t close();
  void open();
  bool isOpen() const;
  // Drops every armed timer, open or not; returns how many.
  std::size_t clear();

  // Delivers one expired timer: drops it (DEBUG) when the processor is not active, else
  // calls processTimeout(in_now, data) and logs a false result at WARN. Call it with no
  // lock held: the processor may arm and cancel timers.
  static void fire(const Timer& in_timer, const ACE_Time_Value& in_now);

  // The monotonic clock used for task timer deadlines, in microseconds: rounded down to
  // test whether a deadline has passed, rounded up to place one (so that a timer never
  // fires before its full delay).
  static ACE_Time_Value monotonicNow(bool in_bRoundUp = false);

 private:
  // Storage: a binary min-heap of (deadline, arming sequence) over one array, and a table
  // of slots (processor, data, position in the heap) indexed by the low bits of the id.
  // Freed slots are kept on a free list and reused; both arrays double when full, so once
  // the number of armed timers has reached its high-water mark nothing is allocated.
  // An id is (slot generation << s_uiSLOT_BITS) | slot index: the generation grows each
  // time its slot is reused, and a slot whose generation is exhausted is retired, so an
  // id never names a later timer. ACE_Timer_Heap is not used: its equal deadlines fire in
  // no set order and its timer ids are reused as soon as a timer is gone.
  struct HeapNode {
    std::int64_t m_llSec;
    std::int64_t m_llUsec;
    std::uint64_t m_ullSequence;
    std::uint32_t m_uiSlot;
  };
  struct Slot {
    TimeoutProcessor* m_pProcessor;
    const TimeoutData* m_pData;
    std::uint64_t m_ullGeneration;
    std::uint32_t m_uiHeapIndex;  // s_uiNONE while free
    std::uint32_t m_uiNextFree;   // next free slot, s_uiNONE at the end of the list
  };

  static constexpr unsigned s_uiSLOT_BITS = 24;
  static constexpr std::uint32_t s_uiNONE = 0xFFFFFFFFu;
  static constexpr std::size_t s_uiINITIAL_CAPACITY = 64;

  static bool earlier(const HeapNode& in_left, const HeapNode& in_right) {
    if (in_left.m_llSec != in_right.m_llSec) return in_left.m_llSec < in_right.m_llSec;
    if (in_left.m_llUsec != in_right.m_llUsec) return in_left.m_llUsec < in_right.m_llUsec;
    return in_left.m_ullSequence < in_right.m_ullSequence;
  }
  static ACE_Time_Value deadlineOf(const HeapNode& in_node);

  // All below: under m_mutex.
  // The slot of armed timer in_lId, or s_uiNONE.
  std::uint32_t findSlot_i(long in_lId) const;
  // A free slot, taken off the free list or added; s_uiNONE when the table is full.
  std::uint32_t takeSlot_i();
  void releaseSlot_i(std::uint32_t in_uiSlot);
  // Removes the heap node at in_uiIndex and frees its slot; out_timer gets the timer.
  void removeAt_i(std::uint32_t in_uiIndex, Timer& out_timer);
  void place_i(std::uint32_t in_uiIndex, const HeapNode& in_node);
  void siftUp_i(std::uint32_t in_uiIndex);
  void siftDown_i(std::uint32_t in_uiIndex);
  std::size_t dropAll_i();

  mutable std::mutex m_mutex;
  bool m_bOpen = true;
  std::uint64_t m_ullNextSequence = 0;
  std::vector<HeapNode> m_vHeap;
  std::vector<Slot> m_vSlots;
  std::uint32_t m_uiFreeHead = s_uiNONE;
  std::atomic<std::size_t> m_uiArmed{0};  // m_vHeap.size(), written under m_mutex
};

}  // namespace Omvera
