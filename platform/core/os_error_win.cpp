// Windows: the system's own message for a code, in UTF-8 like every text of the program's logs (the
// ANSI code page of the narrow call would garble a message in another language).
#include "platform/core/os_error.h"
#include "platform/core/utf8_text_win.h"

#include <windows.h>

namespace platform {

std::string systemMessage(OsError error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = length > 0 ? utf8FromUtf16(std::wstring_view(text, length)) : "";
    LocalFree(text);
    if (message.empty()) message = "system error " + std::to_string(error);
    // The system's texts end in a full stop and a line break, which a log line already has.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace platform
