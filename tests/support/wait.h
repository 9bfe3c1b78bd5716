#pragma once

// Polls until a condition holds; false when the time ran out first. Display tests wait on other
// threads and processes, never for a fixed time that a busy machine could overrun.

#include <chrono>
#include <thread>

template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs = 5000, int pollMs = 1) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}
