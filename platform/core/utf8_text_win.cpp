#include "platform/core/utf8_text_win.h"

#include <windows.h>

#include <climits>

namespace platform {

std::string utf8FromUtf16(std::wstring_view wide)
{
    if (wide.empty() || wide.size() > INT_MAX / 3) return {};
    const int wideLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace platform
