// The session exports: start, device search, bootloader-mode switch, layout query and reset.
#include "bootloader/device_match.h"
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"

using namespace zerlin;

namespace {

// Drops the layout and its images: programming and verification then refuse to run.
void clearLayout()
{
    regionCount = 0;
    for (std::vector<std::uint8_t>& image : regionImage) image = {};
    bytesPerPacket = 0;
    bytesPerAddress = 0;
}

bool queryLayout()
{
    SessionHandles handles;
    Report reply{};
    if (!handles.isOpen() || !writeBootReport(commandPacket(BootCmdQuery)) ||
        !readBootReplyTo(BootCmdQuery, reply, kQueryReplyTimeoutMs))
        return false;

    DeviceLayout layout;
    if (parseQueryReply(reply, layout) != LayoutError::None) return false;
    for (const MemoryRegion& region : layout.regions) {
        (*regionTable)[regionCount] = region;
        regionImage[regionCount] = blankImage(region, layout.bytesPerAddress);
        ++regionCount;
    }
    bytesPerPacket = layout.bytesPerPacket;
    bytesPerAddress = layout.bytesPerAddress;
    return true;
}

}  // namespace

extern "C" {

ZERLIN_EXPORT void Initial47J53Parameter(void)
{
    regionTable.emplace();
    clearLayout();
}

ZERLIN_EXPORT uint8_t M47J53_SetUSBHandle(const char* vidPid)
{
    Initial47J53Parameter();
    // Until a board is found there is none: the calls that need one fail rather than reach
    // whatever device now sits at an earlier search's path.
    bootDevicePath.clear();
    if (vidPid == nullptr) return 0;
    return failSafe([vidPid] {
        platform::OsError error = platform::kOk;
        const std::vector<platform::HidInterfaceInfo> interfaces = platform::listHidInterfaces(&error);
        // A failed enumeration ends the search where it failed: a match before that point counts.
        for (const platform::HidInterfaceInfo& interface : interfaces) {
            if (hardwareIdMatches(interface.hardwareId, vidPid)) {
                bootDevicePath = interface.path;
                return true;
            }
        }
        if (error != platform::kOk) bootLastIoError = error;
        return false;
    });
}

ZERLIN_EXPORT uint8_t M47J53_Set_BootLoaderMode(void)
{
    return failSafe([] {
        SessionHandles handles;
        return handles.isOpen() && writeBootReport(bootloaderModePacket());
    });
}

ZERLIN_EXPORT uint8_t M47J53_QueryDevice(void)
{
    if (!regionTable) return 0;
    // A query replaces the layout: whatever it finds, the old one no longer describes the board.
    clearLayout();
    const std::uint8_t result = failSafe(queryLayout);
    if (result == 0) clearLayout();  // also the images made before an allocation failed
    return result;
}

ZERLIN_EXPORT int32_t M47J53_Reset(void)
{
    platform::OsError error = platform::kErrorNotEnoughMemory;
    failSafe([&error] {
        bootWriteHandle = platform::HidHandle::open(bootDevicePath, platform::HidAccess::Write, error);
        if (error == platform::kOk) error = bootWriteHandle.write(commandPacket(BootCmdReset), kWriteTimeoutMs);
        return error == platform::kOk;
    });
    bootWriteHandle.close();
    bootLastIoError = error;
    return error == platform::kOk ? 1 : static_cast<int32_t>(error);
}

}  // extern "C"
