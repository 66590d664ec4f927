#pragma once
// What happened to the instances of an instrumented test class: each instance holds a
// pointer to one InstanceCounters and bumps the matching count in its constructors,
// assignment, clone() and destructor. Not thread-safe: one test thread only.

namespace Omvera {
namespace Test {

struct InstanceCounters {
  int m_iConstructed = 0;  // built from scratch (not copies)
  int m_iCopied = 0;       // copy-constructed
  int m_iAssigned = 0;
  int m_iCloned = 0;
  int m_iDestroyed = 0;
  // Instances still alive: built or copied, and not yet destroyed.
  int alive() const { return m_iConstructed + m_iCopied - m_iDestroyed; }
};

}  // namespace Test
}  // namespace Omvera
