// Windows: the system's UTF-16 texts as the UTF-8 that the program carries everywhere.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// A lone half of a surrogate pair becomes U+FFFD.
std::string utf8FromUtf16(std::wstring_view wide);

}  // namespace platform
