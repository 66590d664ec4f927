#pragma once
// The single-threaded reference count under counted handles (CountedObjPtr).
//
// One thread at a time: the objects of the engine task, which are never shared with other
// threads. The count operations are plain integer operations; acquireLock() and
// releaseLock() exist so that the handles can treat every count kind alike and do nothing.
// A count block is allocated by the handle that first owns an object and freed by the
// handle that releases the last hold; it is allocated through the class-specific
// allocator ("ReferenceCount").

#include <cstdint>

#include "tidewave/ClassAllocator.h"

namespace Omvera {

class ReferenceCount {
 public:
  ReferenceCount() : m_uiCount(1) {}
  ReferenceCount(const ReferenceCount&) = delete;
  ReferenceCount& operator=(const ReferenceCount&) = delete;

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

  void acquireLock() {}
  void releaseLock() {}

  OMVERA_CLASS_ALLOCATOR(ReferenceCount, "ReferenceCount")

 private:
  static void reportUnderflow(int in_iLine);

  std::uint32_t m_uiCount;
};

}  // namespace Omvera
