#include "platform/core/vbus_dir.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> virtualBusDir() {
    const char* dir = std::getenv("LUMARO_VBUS_DIR");
    if (dir == nullptr || *dir == '\0') return std::nullopt;
    return std::string(dir);
}

}  // namespace platform
