#include "platform/core/narrow_path.h"

namespace platform {

// The system takes a path's bytes as they are.
std::optional<std::string> narrowPathOf(const std::filesystem::path& path) { return path.string(); }

}  // namespace platform
