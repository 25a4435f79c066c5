// Where the virtual bus lives, if this process is pointed at one, and how its small text files
// are read.
#pragma once

#include <filesystem>
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

// The first line of one of the bus's text files (an interface's .id, a device's .port), without
// a carriage return a Windows side may have written; nothing when the file cannot be read.
std::optional<std::string> busFileFirstLine(const std::filesystem::path& file);

}  // namespace platform
