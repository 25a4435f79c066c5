// Where the virtual bus lives, if this process is pointed at one.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Whether this build runs the bus's stop tools (tools/S1, tools/S2) itself. A Windows build cannot
// wait for a Linux program, so it asks the device side to stop a drive instead.
#ifdef _WIN32
inline constexpr bool kClientRunsBusTools = false;
#else
inline constexpr bool kClientRunsBusTools = true;
#endif

// The directory named by LUMARO_VBUS_DIR, or nothing when the variable is unset or empty.
std::optional<std::string> virtualBusDir();

}  // namespace platform
