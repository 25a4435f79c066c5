#include "updatethread.h"

#include "link/job_busy.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr int kInterruptCheckMs = 20;
}

UpdateThread::UpdateThread(UpdateJobInput input, ControllerLink& link, std::unique_ptr<UpdateScreen> screen,
                           JobWait wait)
    : screen_(std::move(screen)),
      link_(link, [screen = screen_.get()](const std::string& line) { screen->log(line); }, {}),
      job_(std::move(input), link_.requests(), *screen_, jobBusy,
           wait ? std::move(wait) : JobWait([this](int ms) { return waitUnlessInterrupted(ms); })) {
    setObjectName(QStringLiteral("UpdateThread"));
}

UpdateThread::~UpdateThread() {
    if (isRunning()) {
        requestInterruption();
        jobBusy = false;  // the job's stop signal: it ends at its next check
    }
    wait();
}

void UpdateThread::run() { job_.RunUpdateJob(); }

bool UpdateThread::waitUnlessInterrupted(int ms) const {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!isInterruptionRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        msleep(static_cast<unsigned long>(std::min<long long>(left, kInterruptCheckMs)));
    }
    return false;
}
