// A C library that opens files by narrow names only (the workbook writer) has them read on Windows
// in the ANSI code page, which cannot hold every user name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// A narrow name by which the C library's fopen reaches the existing file or folder at path: the
// path itself on Linux; on Windows the path in the ANSI code page when that holds every letter of
// it, else its short (8.3) form when the volume keeps short names. Nothing when neither reaches it.
std::optional<std::string> narrowPathOf(const std::filesystem::path& path);

}  // namespace platform
