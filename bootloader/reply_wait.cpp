#include "bootloader/reply_wait.h"

namespace zerlin {

int millisecondsUntil(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return static_cast<int>(left > 0 ? left : 0);
}

}  // namespace zerlin
