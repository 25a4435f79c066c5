// Waiting in the simulator's tests for what the simulator does in its own process.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace simtest {

// True once done() holds, polled every few milliseconds; false after limit.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace simtest
