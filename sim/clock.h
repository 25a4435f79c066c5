// The simulator's one clock: monotonic, the clock of CLOCK_MONOTONIC timers, so its time points
// can arm them directly.
#pragma once

#include <chrono>

namespace sim {

using Clock = std::chrono::steady_clock;

}  // namespace sim
