#pragma once
// Waits, with a bound, for something another thread makes true.

#include <chrono>
#include <thread>

namespace velmora::test_support {

template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace velmora::test_support
