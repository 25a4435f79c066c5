#include "platform/process/wake_signal.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct WakeSignal::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool notified = false;
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {}
WakeSignal::~WakeSignal() = default;

void WakeSignal::notify()
{
    const std::lock_guard lock(state_->mutex);
    state_->notified = true;
    state_->changed.notify_all();
}

void WakeSignal::wait()
{
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->notified; });
    state_->notified = false;
}

}  // namespace platform
