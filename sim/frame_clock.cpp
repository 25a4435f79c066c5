#include "frame_clock.h"

#include <cerrno>
#include <system_error>

#include <sys/timerfd.h>
#include <unistd.h>

namespace sim {
namespace {

timespec toTimespec(Clock::duration sinceEpoch) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

FrameClock::FrameClock(Clock::time_point origin)
    : fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)), origin_(origin) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
}

FrameClock::~FrameClock() { ::close(fd_); }

void FrameClock::keepRunning(bool wanted, Clock::time_point now) {
    if (wanted == running_) return;
    itimerspec spec{};
    if (wanted) {
        spec.it_value = toTimespec((origin_ + (frameAt(now) + 1) * kFrame).time_since_epoch());
        spec.it_interval = toTimespec(kFrame);
    }
    ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
    running_ = wanted;
}

std::optional<std::int64_t> FrameClock::frameToServe(Clock::time_point now) {
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations) return std::nullopt;
    const std::int64_t frame = frameAt(now);
    if (frame <= lastServed_) return std::nullopt;
    lastServed_ = frame;
    return frame;
}

}  // namespace sim
