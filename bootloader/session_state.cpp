#include "bootloader/session_state.h"

#include "bootloader/reply_wait.h"

#include <chrono>

namespace zerlin {

std::string bootDevicePath;
platform::HidHandle bootWriteHandle;
platform::HidHandle bootReadHandle;
platform::OsError bootLastIoError = platform::kOk;
std::optional<std::array<MemoryRegion, kRegionSlots>> regionTable;
std::uint8_t regionCount = 0;
std::array<std::vector<std::uint8_t>, kRegionSlots> regionImage;
std::uint8_t bytesPerPacket = 0;
std::uint8_t bytesPerAddress = 0;

bool hasUsableLayout()
{
    return regionTable.has_value() && isUsableLayout(bytesPerPacket, bytesPerAddress);
}

bool hasImagesToProgram()
{
    if (!hasUsableLayout()) return false;
    for (std::size_t i = 0; i < regionCount; ++i)
        if (regionImage[i].size() != (std::size_t{(*regionTable)[i].length} + 1) * bytesPerAddress) return false;
    return true;
}

SessionHandles::SessionHandles()
{
    platform::OsError error = platform::kOk;
    bootWriteHandle = platform::HidHandle::open(bootDevicePath, platform::HidAccess::Write, error);
    if (error == platform::kOk)
        bootReadHandle = platform::HidHandle::open(bootDevicePath, platform::HidAccess::Read, error);
    bootLastIoError = error;
    open_ = error == platform::kOk;
}

SessionHandles::~SessionHandles()
{
    bootWriteHandle.close();
    bootReadHandle.close();
}

bool writeBootReport(const Report& report, int timeoutMs)
{
    bootLastIoError = bootWriteHandle.write(report, timeoutMs);
    return bootLastIoError == platform::kOk;
}

bool readBootReport(Report& report, int timeoutMs)
{
    bootLastIoError = bootReadHandle.read(report, timeoutMs);
    return bootLastIoError == platform::kOk;
}

bool readBootReplyTo(BootCommand command, Report& reply, int timeoutMs)
{
    bootLastIoError = readReplyTo(command, reply, timeoutMs,
                                  [](Report& report, int ms) { return bootReadHandle.read(report, ms); });
    return bootLastIoError == platform::kOk;
}

bool eraseAndWait()
{
    // The bootloader erases before it takes the next report, so the query's write may wait too;
    // both share one time limit.
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kEraseTimeoutMs);
    Report reply{};
    return writeBootReport(commandPacket(BootCmdErase)) &&
           writeBootReport(commandPacket(BootCmdQuery), millisecondsUntil(deadline)) &&
           readBootReplyTo(BootCmdQuery, reply, millisecondsUntil(deadline));
}

}  // namespace zerlin
