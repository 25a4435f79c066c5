// Windows: the system's own message for a code, in the process's ANSI code page.
#include "os_error.h"

#include <windows.h>

namespace platform {

std::string systemMessage(OsError error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
    LocalFree(text);
    // The system's texts end in a full stop and a line break, which a log line already has.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace platform
