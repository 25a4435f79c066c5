// A thread waiting for work answers the messages sent to its windows meanwhile, as a thread in a COM
// single-threaded apartment must: a sender is not held until the next work arrives.
#include "platform/process/wake_signal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(WindowsWakeSignal, AWaitingThreadAnswersMessagesSentToItsWindows)
{
    platform::WakeSignal signal;
    std::promise<HWND> made;
    std::thread waiter([&] {
        const HWND window = CreateWindowExW(0, L"STATIC", L"waiting", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        made.set_value(window);
        signal.wait();
        if (window != nullptr) DestroyWindow(window);
    });
    const HWND window = made.get_future().get();
    std::this_thread::sleep_for(100ms);  // inside its wait by now
    DWORD_PTR answer = 0;
    const auto sent = std::chrono::steady_clock::now();
    const LRESULT answered = window != nullptr ? SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer) : 0;
    const auto took = std::chrono::steady_clock::now() - sent;
    signal.notify();
    waiter.join();
    ASSERT_NE(window, nullptr) << GetLastError();
    EXPECT_NE(answered, 0) << "the waiting thread did not answer within 2 s";
    EXPECT_LT(took, 1s);
}

}  // namespace
