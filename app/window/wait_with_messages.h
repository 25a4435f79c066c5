// Waits a number of milliseconds while the calling thread's events keep being handled; on a
// thread without an event loop it is a sleep in 1 ms steps. Lasts at least ms milliseconds.
#pragma once

#include <cstdint>

void WaitWithMessages(std::uint32_t ms);
