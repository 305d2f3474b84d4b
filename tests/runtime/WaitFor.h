#pragma once
// Waits for a condition with a bounded deadline instead of sleeping a fixed time.

#include <chrono>
#include <thread>

template <typename Pred> bool WaitFor(Pred p_oPred, int p_iTimeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(p_iTimeoutMs);
  while (!p_oPred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
