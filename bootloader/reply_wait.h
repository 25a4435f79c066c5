// Waiting for the bootloader's reply to one request, on a read handle that other replies may reach
// as well: late answers to an earlier call's requests, or to another client's.
#pragma once

#include "bootloader/boot_protocol.h"
#include "platform/core/os_error.h"

#include <chrono>

namespace zerlin {

using SteadyClock = std::chrono::steady_clock;

// Time limits. A board takes a report within a few frames; the bootloader answers a query at
// once, but after an erase only when the whole program flash is erased, which takes seconds.
inline constexpr int kWriteTimeoutMs = 2000;
inline constexpr int kQueryReplyTimeoutMs = 3000;
inline constexpr int kEraseTimeoutMs = 10000;

// Whole milliseconds left until deadline, rounded up; 0 once it has passed.
int millisecondsUntil(SteadyClock::time_point deadline);

// Reads reports with readOne(report, timeoutMs) until one whose command byte is `command` comes,
// reading past the others, all within timeoutMs. Returns readOne's first failure (its timeout
// when the limit ran out), else kOk with the reply filled.
template <typename ReadOne>
platform::OsError readReplyTo(BootCommand command, Report& reply, int timeoutMs, ReadOne readOne)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const platform::OsError error = readOne(reply, millisecondsUntil(deadline)); error != platform::kOk)
            return error;
        if (reply[kCommandOffset] == command) return platform::kOk;
    }
}

}  // namespace zerlin
