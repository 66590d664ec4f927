#pragma once
// The engine task's account of the requests its endpoints received: every configure, start
// and stop that reached an endpoint state machine either was answered with a report or
// ended without one because its endpoint was torn down. Once no request is in progress,
// received == delivered + ended by teardown.
//
// Written on the engine task thread only; read from any thread (each count is atomic, a
// snapshot of the three taken while requests are in progress may be mid-update).

#include <atomic>
#include <cstdint>

namespace Omvera {

class RequestLedger {
 public:
  struct Counts {
    std::uint64_t m_ullReceived = 0;
    std::uint64_t m_ullDelivered = 0;
    std::uint64_t m_ullEndedByTeardown = 0;

    bool balanced() const { return m_ullReceived == m_ullDelivered + m_ullEndedByTeardown; }
  };

  // Engine task thread.
  void requestReceived() { m_ullReceived.fetch_add(1, std::memory_order_relaxed); }
  void reportDelivered() { m_ullDelivered.fetch_add(1, std::memory_order_relaxed); }
  void endedByTeardown(std::uint64_t in_ullCount) {
    m_ullEndedByTeardown.fetch_add(in_ullCount, std::memory_order_relaxed);
  }

  // Any thread.
  Counts counts() const {
    Counts counts;
    counts.m_ullReceived = m_ullReceived.load(std::memory_order_relaxed);
    counts.m_ullDelivered = m_ullDelivered.load(std::memory_order_relaxed);
    counts.m_ullEndedByTeardown = m_ullEndedByTeardown.load(std::memory_order_relaxed);
    return counts;
  }

 private:
  std::atomic<std::uint64_t> m_ullReceived{0};
  std::atomic<std::uint64_t> m_ullDelivered{0};
  std::atomic<std::uint64_t> m_ullEndedByTeardown{0};
};

}  // namespace Omvera
