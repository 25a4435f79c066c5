#include "own_folder.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

#include <filesystem>
#include <vector>

namespace platform {

std::string ownProgramFolder() {
    // GetModuleFileNameW cuts a path that does not fit and says so only by filling the buffer.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            const std::filesystem::path self(std::wstring(buffer.data(), length));
            return utf8String(self.parent_path()) + '\\';
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
