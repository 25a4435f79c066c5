// Windows: the texts of COM's failures.
#pragma once

#include <cstdint>
#include <string>

namespace platform::com {

// The text of a failed HRESULT: a fixed English text for the failures of creation and late binding
// (Wine's system has none for them), the system's own text for a wrapped system error code, else
// the code in hexadecimal.
std::string describeResult(std::uint32_t result);

// Throws Error with result and its text followed by detail.
[[noreturn]] void fail(long result, const std::string& detail);

}  // namespace platform::com
