// Error codes of the platform layer.
//
// Every backend reports failures in the Windows system error numbering, because that is what the
// utility's logs and the library's bootLastIoError have always carried; the Linux and virtual-bus
// backends translate their errno values into it. 0 always means success.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using OsError = std::uint32_t;

inline constexpr OsError kOk = 0;
inline constexpr OsError kErrorFileNotFound = 2;       // path does not exist (device unplugged before open)
inline constexpr OsError kErrorAccessDenied = 5;       // held exclusively, no permission, wrong direction
inline constexpr OsError kErrorInvalidHandle = 6;      // I/O on a handle that is not open
inline constexpr OsError kErrorNotEnoughMemory = 8;
inline constexpr OsError kErrorReportLength = 24;      // ERROR_BAD_LENGTH: the interface's reports are not 65 bytes
inline constexpr OsError kErrorGenFailure = 31;        // anything without a closer match
inline constexpr OsError kErrorInvalidParameter = 87;
inline constexpr OsError kErrorDeviceNotConnected = 1167;  // the device left while a handle was open
inline constexpr OsError kErrorTimeout = 1460;         // a read or write did not finish within its time limit

// Translates an errno value of a POSIX call into the numbering above.
OsError fromErrno(int errnoValue);

// Short English description, for logs and the command-line tool.
std::string describe(OsError error);

// The operating system's own text for a code describe() has no text of its own for; one
// implementation per OS.
std::string systemMessage(OsError error);

}  // namespace platform
