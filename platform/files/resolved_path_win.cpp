#include "platform/files/resolved_path.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

#include <string_view>

namespace platform {

// The system's final path of what the name leads to. No access is asked for, so that a file that
// is open elsewhere still resolves; FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened.
std::optional<std::string> resolvedPath(const std::string& path)
{
    const HANDLE handle = CreateFileW(utf8Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= resolved.size()) {  // too small: the length asked for, its terminator included
        resolved.resize(length);
        length = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(handle);
    if (length == 0 || length >= resolved.size()) return std::nullopt;
    resolved.resize(length);
    // The answer comes as \\?\C:\... or \\?\UNC\server\share\...: the usual forms of the same places.
    constexpr std::wstring_view kLong = L"\\\\?\\", kLongUnc = L"\\\\?\\UNC\\";
    if (resolved.starts_with(kLongUnc))
        resolved = L"\\\\" + resolved.substr(kLongUnc.size());
    else if (resolved.starts_with(kLong))
        resolved = resolved.substr(kLong.size());
    return utf8String(std::filesystem::path(resolved));
}

}  // namespace platform
