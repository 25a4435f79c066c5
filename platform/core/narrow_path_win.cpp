#include "platform/core/narrow_path.h"

#include <windows.h>

#include <climits>

namespace platform {
namespace {

// The text in the ANSI code page, or nothing when a letter has no exact place there: a best-fit
// letter or a question mark would name another file.
std::optional<std::string> inAnsiCodePage(const std::wstring& wide)
{
    if (wide.empty()) return std::string();
    if (wide.size() > INT_MAX) return std::nullopt;
    const int wideLength = static_cast<int>(wide.size());
    // A system whose ANSI code page is UTF-8 takes every letter; that code page refuses the flag
    // and the lost-letter report.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lost = FALSE;
    BOOL* lostReport = utf8 ? nullptr : &lost;
    const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, nullptr, lostReport);
    if (length <= 0 || lost) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, narrow.data(), length, nullptr, lostReport) !=
            length ||
        lost)
        return std::nullopt;
    return narrow;
}

std::optional<std::wstring> shortPathOf(const std::wstring& wide)
{
    const DWORD size = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring shortPath(size, L'\0');
    const DWORD length = GetShortPathNameW(wide.c_str(), shortPath.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    shortPath.resize(length);
    return shortPath;
}

}  // namespace

std::optional<std::string> narrowPathOf(const std::filesystem::path& path)
{
    const std::wstring& wide = path.native();
    if (auto narrow = inAnsiCodePage(wide)) return narrow;
    // Where the volume keeps no short names the long one comes back, and fails the same way.
    if (const auto shortPath = shortPathOf(wide)) return inAnsiCodePage(*shortPath);
    return std::nullopt;
}

}  // namespace platform
