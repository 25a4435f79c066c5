// Paths travel through the program as UTF-8 in std::string. On Windows a narrow path would be read
// in the ANSI code page, which cannot hold every user name; these turn them into paths the system
// takes as they are (UTF-16 on Windows), and back.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

inline std::filesystem::path utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8String(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace platform
