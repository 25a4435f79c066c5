#include "bootloader/session_state.h"

#include <chrono>

namespace zerlin {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(left > 0 ? left : 0);
}

}  // namespace

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

bool readReplyTo(BootCommand command, Report& reply, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (!readBootReport(reply, remainingMs(deadline))) return false;
    } while (reply[kCommandOffset] != command);
    return true;
}

bool eraseAndWait()
{
    // The bootloader erases before it takes the next report, so the query's write may wait too;
    // both share one time limit.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kEraseTimeoutMs);
    Report reply{};
    return writeBootReport(commandPacket(BootCmdErase)) &&
           writeBootReport(commandPacket(BootCmdQuery), remainingMs(deadline)) &&
           readReplyTo(BootCmdQuery, reply, remainingMs(deadline));
}

}  // namespace zerlin
