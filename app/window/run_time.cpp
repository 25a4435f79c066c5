#include "app/window/run_time.h"

std::string formatRunTime(std::int64_t elapsedMs)
{
    const std::int64_t seconds = elapsedMs / 1000;
    return std::to_string(seconds / 60) + ":" + std::to_string(seconds % 60);
}
