#include "platform/files/resolved_path.h"

#include <climits>
#include <cstdlib>

namespace platform {

std::optional<std::string> resolvedPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

}  // namespace platform
