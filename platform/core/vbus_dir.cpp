#include "platform/core/vbus_dir.h"

#include <cstdlib>
#include <fstream>

namespace platform {

std::optional<std::string> virtualBusDir() {
    const char* dir = std::getenv("LUMARO_VBUS_DIR");
    if (dir == nullptr || *dir == '\0') return std::nullopt;
    return std::string(dir);
}

std::optional<std::string> busFileFirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace platform
