// The 1 ms frames of a full-speed USB port, on a fixed grid from the simulator's start so that
// late wake-ups never shift the frames that follow. The timer runs only while a device has work.
#pragma once

#include "clock.h"

#include <cstdint>
#include <optional>

namespace sim {

class FrameClock {
public:
    static constexpr auto kFrame = std::chrono::milliseconds(1);

    explicit FrameClock(Clock::time_point origin);  // throws std::system_error
    ~FrameClock();
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    int fd() const { return fd_; }

    // Starts ticking at the next frame start when wanted, stops when not.
    void keepRunning(bool wanted, Clock::time_point now);

    // After the timer fired: the frame in progress, or nothing when that frame was served already.
    // Frames missed by a late wake-up are lost, not made up for.
    std::optional<std::int64_t> frameToServe(Clock::time_point now);

private:
    std::int64_t frameAt(Clock::time_point now) const { return (now - origin_) / kFrame; }

    int fd_;
    Clock::time_point origin_;
    bool running_ = false;
    std::int64_t lastServed_ = -1;
};

}  // namespace sim
