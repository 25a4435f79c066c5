#include "bootloader/boot_protocol.h"

namespace zerlin {

Report commandPacket(BootCommand command)
{
    Report report{};
    report[kCommandOffset] = command;
    return report;
}

Report bootloaderModePacket()
{
    // The application firmware takes this as its own frame for command 0x9A (start 0xA9, length,
    // 0x01, 0x00, command, checksum, end 0x5C, filler 0xFF) whose head carries "BOOT" instead.
    constexpr std::uint8_t kFrameStart = 0xA9;
    constexpr std::uint8_t kFrameEnd = 0x5C;
    constexpr std::uint8_t kFiller = 0xFF;
    constexpr std::uint8_t kEnterBootloader = 0x9A;

    Report report{};
    report.fill(kFiller);
    report[0] = 0;
    const std::array<std::uint8_t, 5> head{kFrameStart, 0x04, 0x01, 0x00, kEnterBootloader};
    std::uint8_t sum = kFiller;
    for (std::size_t i = 0; i < head.size(); ++i) {
        report[1 + i] = head[i];
        if (i > 0) sum = static_cast<std::uint8_t>(sum + head[i]);
    }
    report[6] = static_cast<std::uint8_t>(~sum);
    report[7] = kFrameEnd;
    constexpr std::array<std::uint8_t, 4> kBootText{'B', 'O', 'O', 'T'};
    for (std::size_t i = 0; i < kBootText.size(); ++i) report[1 + i] = kBootText[i];
    return report;
}

void putLittleEndian32(Report& report, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) report[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t getLittleEndian32(const Report& report, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(report[offset + i]) << (8 * i);
    return value;
}

}  // namespace zerlin
