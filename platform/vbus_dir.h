// Where the virtual bus lives, if this process is pointed at one.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The directory named by LUMARO_VBUS_DIR, or nothing when the variable is unset or empty.
std::optional<std::string> virtualBusDir();

}  // namespace platform
