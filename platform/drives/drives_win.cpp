// Windows: the drive letters from C: to Z: that have a root, and the volumes of removable USB disks
// that have no letter of their own in the user's session (volumes_win.h), by their volume GUID paths;
// a drive's USB port is the location path of the USB device above the disk that holds its volume.
// The update disk is stopped by the program's own stop tool when the build carries it
// (stop_tool_win.cpp); otherwise the volume is ejected and the configuration manager is asked to
// eject the USB device that holds it, as "Safely Remove Hardware" does.
#include "platform/drives/drives_backends.h"
#include "platform/core/device_tree_win.h"
#include "platform/core/utf8_path.h"
#include "platform/drives/usb_eject_rules.h"
#include "platform/drives/usb_eject_win.h"
#include "platform/drives/volume_name_rules.h"
#include "platform/drives/volumes_win.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace platform::native {

std::vector<std::string> listDrives()
{
    std::vector<std::string> drives;
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        if (isDrivePresent({letter, ':'})) drives.push_back({letter, ':'});
    const std::vector<std::string> volumes = volumesWithoutOwnLetter();
    drives.insert(drives.end(), volumes.begin(), volumes.end());
    return drives;
}

std::string pathOnDrive(const std::string& drive, const std::string& fileName) { return fileOnDrive(drive, fileName); }

// The disk that holds the volume, found as the stop finds it, and the USB device above that disk.
std::string drivePort(const std::string& drive)
{
    DEVINST disk = 0;
    return diskOfDrive(drive, disk) ? usbPortOf(disk) : std::string();
}

// The USB device above the disk, named by its device instance ID.
std::string driveUsbIdentity(const std::string& drive)
{
    DEVINST disk = 0;
    return diskOfDrive(drive, disk) ? usbDeviceIdOf(disk) : std::string();
}

std::string driveLabel(const std::string& drive)
{
    const std::string root = driveRoot(drive);
    wchar_t label[MAX_PATH + 1] = {};
    if (root.empty() ||
        !GetVolumeInformationW(utf8Path(root).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return utf8String(std::filesystem::path(label));
}

std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    DEVINST disk = 0;
    // The eject request has the file system write out and dismount the volume; a lock of its own
    // would be released before the request anyway.
    if (!diskOfDrive(drive, disk)) return drive + " is not a volume of a disk the system knows";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (auto problem = ejectUsbDeviceOf(disk, drive, std::min(kEjectRetryFor, left))) return problem;
    while (isDrivePresent(drive)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return drive + " is still there " + std::to_string(timeoutMs) + " ms after its device was ejected";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

}  // namespace platform::native
