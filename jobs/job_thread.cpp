#include "job_thread.h"

#include "link/job_busy.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr int kInterruptCheckMs = 20;
}

void JobThread::askToStop() {
    if (!isRunning()) return;
    requestInterruption();
    jobBusy = false;
}

void JobThread::stopAndWait() {
    askToStop();
    wait();
}

bool JobThread::waitUnlessInterrupted(int ms) const {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!isInterruptionRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        msleep(static_cast<unsigned long>(std::min<long long>(left, kInterruptCheckMs)));
    }
    return false;
}
