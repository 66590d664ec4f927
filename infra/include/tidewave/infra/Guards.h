#pragma once
// Re-entry guards over a flag owned by the guarded object. They detect re-entry on one
// thread, not concurrent use: the flag is a plain bool of an object owned by one thread.

#include "tidewave/infra/Assertion.h"

namespace Omvera {

// Guards an operation that must not be re-entered on one object (an event processed while
// the same object is already processing one). The guard that finds the flag clear sets it
// and clears it when destroyed; a guard that finds it set reports re-entry through
// recursivityAssert and leaves the flag to its owner.
class RecursivityGuard {
 public:
  RecursivityGuard(bool& in_rFlag, const char* in_szModule, int in_iLine)
      : m_rFlag(in_rFlag), m_bOwner(!in_rFlag) {
    if (m_bOwner) {
      m_rFlag = true;
    } else {
      recursivityAssert(in_szModule, in_iLine);
    }
  }
  ~RecursivityGuard() {
    if (m_bOwner) m_rFlag = false;
  }
  RecursivityGuard(const RecursivityGuard&) = delete;
  RecursivityGuard& operator=(const RecursivityGuard&) = delete;

  bool reentered() const { return !m_bOwner; }

  // Assertion "recursive call on a guarded object".
  static void recursivityAssert(const char* in_szModule, int in_iLine);

 private:
  bool& m_rFlag;
  bool m_bOwner;
};

// Marks a scratch member (a reusable container kept to avoid allocation) as in use. The
// same protocol as RecursivityGuard; release() gives the member up before the guard dies.
class ScratchMemberGuard {
 public:
  ScratchMemberGuard(bool& in_rFlag, const char* in_szModule, int in_iLine)
      : m_rFlag(in_rFlag), m_bOwner(!in_rFlag) {
    if (m_bOwner) {
      m_rFlag = true;
    } else {
      scratchMemberInUseAssert(in_szModule, in_iLine);
    }
  }
  ~ScratchMemberGuard() { release(); }
  ScratchMemberGuard(const ScratchMemberGuard&) = delete;
  ScratchMemberGuard& operator=(const ScratchMemberGuard&) = delete;

  void release() {
    if (m_bOwner) {
      m_rFlag = false;
      m_bOwner = false;
    }
  }

  // Assertion "scratch member already in use".
  static void scratchMemberInUseAssert(const char* in_szModule, int in_iLine);

 private:
  bool& m_rFlag;
  bool m_bOwner;
};

}  // namespace Omvera
