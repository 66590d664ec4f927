#pragma once
// Bounded waiting for a condition in multi-threaded tests: polls in_condition until it
// holds or in_timeout passes. Returns the last value of the condition. Never used to wait
// for time itself (timers are driven by a manual scheduler).

#include <chrono>
#include <thread>

namespace Omvera {
namespace Test {

template <class Condition>
bool waitFor(Condition in_condition,
             std::chrono::milliseconds in_timeout = std::chrono::milliseconds(10000)) {
  const auto deadline = std::chrono::steady_clock::now() + in_timeout;
  while (!in_condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return in_condition();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace Test
}  // namespace Omvera
