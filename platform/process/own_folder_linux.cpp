#include "own_folder.h"

#include "platform/core/utf8_path.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string ownProgramFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !self.has_parent_path()) return {};
    return utf8String(self.parent_path()) + '/';
}

}  // namespace platform
