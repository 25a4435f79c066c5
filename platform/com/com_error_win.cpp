#include "platform/com/com_error_win.h"

#include "platform/com/com_automation_win.h"
#include "platform/core/os_error.h"

#include <cstdio>

namespace platform::com {

std::string describeResult(std::uint32_t result)
{
    switch (result) {
    case 0x800401F3: return "Invalid class string";
    case 0x80040154: return "Class not registered";
    case 0x80080005: return "Server execution failed";
    case 0x80020003: return "Member not found";
    case 0x80020006: return "Unknown name";
    case 0x80020005: return "Type mismatch";
    case 0x8002000E: return "Invalid number of parameters";
    case 0x8002000B: return "Invalid index";
    case 0x8002000A: return "Out of present range";
    case 0x80020009: return "Exception occurred";
    case 0x80010108: return "The object invoked has disconnected from its clients";
    // What a call still rejected once the message filter gave up fails with.
    case 0x80010001: return "Call was rejected by callee";
    case 0x8001010A: return "The message filter indicated that the application is busy";
    default: break;
    }
    // A system error code wrapped as an HRESULT has its text under the plain code.
    if ((result >> 16) == 0x8007) return systemMessage(result & 0xFFFF);
    // Any other code's number, in hexadecimal as COM writes it.
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(result));
    return std::string("error ") + number;
}

void fail(long result, const std::string& detail)
{
    const auto code = static_cast<std::uint32_t>(result);
    throw Error(code, describeResult(code) + detail);
}

}  // namespace platform::com
