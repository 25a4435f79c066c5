// The running time of an update as the engineering page shows it: minutes, a colon, seconds,
// without leading zeros (65 s reads 1:5).
#pragma once

#include <cstdint>
#include <string>

std::string formatRunTime(std::int64_t elapsedMs);
