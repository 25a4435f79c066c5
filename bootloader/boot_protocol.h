// The bootloader's packet frame: command codes and the fixed packets that carry no data.
// Every exchange is one 65-byte HID report (report ID 0, then the 64-byte report); byte 1 is the
// command code and multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zerlin {

inline constexpr std::size_t kReportSize = 65;
using Report = std::array<std::uint8_t, kReportSize>;  // same type as platform::Report

enum BootCommand : std::uint8_t {
    BootCmdQuery = 0x02,
    BootCmdErase = 0x04,
    BootCmdProgram = 0x05,
    BootCmdProgramComplete = 0x06,
    BootCmdGetData = 0x07,
    BootCmdReset = 0x08,
};

inline constexpr std::size_t kCommandOffset = 1;
inline constexpr std::size_t kAddressOffset = 2;
inline constexpr std::size_t kCountOffset = 6;
// Data sits right-aligned after the 6-byte head (command, address, count), so at most 58 bytes fit.
inline constexpr std::size_t kMaxDataPerPacket = kReportSize - 7;

// A request with nothing after its command byte: report ID 0, the command, zeros.
Report commandPacket(BootCommand command);

// The request that makes the controller's application firmware restart into its bootloader.
Report bootloaderModePacket();

void putLittleEndian32(Report& report, std::size_t offset, std::uint32_t value);
std::uint32_t getLittleEndian32(const Report& report, std::size_t offset);

}  // namespace zerlin
