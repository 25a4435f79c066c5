// Waking a thread that waits for work: a notify before the wait is not lost, and one notify ends one
// wait, not the next.
#include "platform/process/wake_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(WakeSignal, ANotifyBeforeTheWaitIsKeptAndEndsOneWaitOnly)
{
    platform::WakeSignal signal;
    signal.notify();
    signal.notify();
    signal.wait();  // returns at once

    std::atomic<bool> woken{false};
    std::thread waiter([&] {
        signal.wait();
        woken = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(woken) << "the two notifies before the first wait were used up by it";
    signal.notify();
    waiter.join();
    EXPECT_TRUE(woken);
}

}  // namespace
