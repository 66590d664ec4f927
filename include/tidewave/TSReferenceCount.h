#pragma once
// The thread-safe reference count under counted handles shared between threads (the shared
// engine task adapter, in-memory audio callbacks, tasks).
//
// Any thread. increment(), decrement(), unique() and getCount() must be called with the
// lock held (acquireLock() ... releaseLock()); the handles do so, and they delete the object
// of the last hold while the releasing thread still holds the lock. The lock is not
// recursive. Allocated through the class-specific allocator ("TSReferenceCount").

#include <cstdint>
#include <mutex>

#include "tidewave/ClassAllocator.h"

namespace Omvera {

class TSReferenceCount {
 public:
  TSReferenceCount() : m_uiCount(1), m_bLocked(false) {}
  // Destroying a locked count is reported ("m_bLocked == false"); the lock is then given up
  // on the assumption that the destroying thread is the one holding it.
  ~TSReferenceCount() {
    if (m_bLocked) {
      reportDestroyedLocked(__LINE__);
      m_bLocked = false;
      m_mutex.unlock();
    }
  }
  TSReferenceCount(const TSReferenceCount&) = delete;
  TSReferenceCount& operator=(const TSReferenceCount&) = delete;

  // Blocks until the calling thread holds the lock.
  void acquireLock() {
    m_mutex.lock();
    m_bLocked = true;
  }
  // Gives the lock up. Without a lock held it reports ("m_bLocked == true") and does
  // nothing else.
  void releaseLock() {
    if (!m_bLocked) {
      reportNotLocked(__LINE__);
      return;
    }
    m_bLocked = false;
    m_mutex.unlock();
  }

  void increment() { ++m_uiCount; }
  // A count already at 0 is reported ("m_uiCount > 0") and left at 0.
  void decrement() {
    if (m_uiCount == 0) {
      reportUnderflow(__LINE__);
      return;
    }
    --m_uiCount;
  }
  bool unique() const { return m_uiCount == 1; }
  std::uint32_t getCount() const { return m_uiCount; }
  // Whether the lock is held; only meaningful to the thread holding it (for checks).
  bool isLocked() const { return m_bLocked; }

  OMVERA_CLASS_ALLOCATOR(TSReferenceCount, "TSReferenceCount")

 private:
  static void reportUnderflow(int in_iLine);
  static void reportNotLocked(int in_iLine);
  static void reportDestroyedLocked(int in_iLine);

  std::mutex m_mutex;
  std::uint32_t m_uiCount;
  bool m_bLocked;
};

}  // namespace Omvera
