// Windows: drives by drive type from C: to Z:; a drive's USB port is the location path of the USB
// device above the disk that holds its volume. The update disk is stopped by the program's own stop
// tool when the build carries it (stop_tool_win.cpp); otherwise the volume is ejected and the
// configuration manager is asked to eject the USB device that holds it, as "Safely Remove Hardware"
// does.
#include "platform/drives/drives_backends.h"
#include "platform/core/device_tree_win.h"
#include "platform/core/setupapi_win.h"
#include "platform/core/usb_port.h"
#include "platform/core/utf8_path.h"
#include "platform/drives/usb_eject_rules.h"
#include "platform/drives/usb_eject_win.h"

#include <cfgmgr32.h>
#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace platform::native {
namespace {

std::string rootOf(char letter) { return std::string(1, letter) + ":\\"; }

bool isPresent(char letter)
{
    const UINT type = GetDriveTypeA(rootOf(letter).c_str());
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

// The storage device number behind a volume or disk path, which ties a volume to its disk.
bool deviceNumberOf(const std::string& path, DWORD& number)
{
    const HANDLE device =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    STORAGE_DEVICE_NUMBER storage{};
    DWORD returned = 0;
    const bool ok = DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &storage, sizeof storage,
                                    &returned, nullptr) != 0;
    CloseHandle(device);
    number = storage.DeviceNumber;
    // Disks and CD drives are numbered apart: a CD or a mounted ISO numbered N is not PhysicalDriveN.
    return ok && storage.DeviceType == FILE_DEVICE_DISK;
}

// The device node of the disk with that number, among the present disk interfaces.
bool diskDeviceOf(DWORD diskNumber, DEVINST& disk)
{
    const GUID diskClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    HDEVINFO devices = SetupDiGetClassDevsA(&diskClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    for (DWORD index = 0; !found; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &diskClass, index, &interface)) break;
        SP_DEVINFO_DATA element{};
        std::string path;
        DWORD number = 0;
        if (interfaceDetail(devices, interface, element, path) && deviceNumberOf(path, number) && number == diskNumber) {
            disk = element.DevInst;
            found = true;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return found;
}

// The disk device node that holds the volume of drive letter.
bool diskOfDrive(char letter, DEVINST& disk)
{
    DWORD diskNumber = 0;
    return deviceNumberOf(std::string("\\\\.\\") + letter + ":", diskNumber) && diskDeviceOf(diskNumber, disk);
}

}  // namespace

std::vector<std::string> listDrives()
{
    std::vector<std::string> drives;
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        if (isPresent(letter)) drives.push_back({letter, ':'});
    return drives;
}

std::string pathOnDrive(const std::string& drive, const std::string& fileName) { return drive + "\\" + fileName; }

// The disk that holds the volume, found as the stop finds it, and the USB device above that disk.
std::string drivePort(const std::string& drive)
{
    DEVINST disk = 0;
    if (drive.empty() || !diskOfDrive(drive[0], disk)) return {};
    return usbPortOf(disk);
}

// The USB device above the disk, named by its device instance ID.
std::string driveUsbIdentity(const std::string& drive)
{
    DEVINST disk = 0;
    if (drive.empty() || !diskOfDrive(drive[0], disk)) return {};
    const std::vector<DEVINST> nodes = nodesUpFrom(disk);
    std::vector<std::string> ids;
    for (DEVINST node : nodes) ids.push_back(instanceIdOf(node));
    const auto usbDevice = usbDeviceNodeOf(ids);
    return usbDevice ? ids[*usbDevice] : std::string();
}

std::string driveLabel(const std::string& drive)
{
    wchar_t label[MAX_PATH + 1] = {};
    if (drive.empty() || !GetVolumeInformationW(utf8Path(drive + "\\").c_str(), label, MAX_PATH + 1, nullptr, nullptr,
                                                nullptr, nullptr, 0))
        return {};
    return utf8String(std::filesystem::path(label));
}

std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const char letter = drive.empty() ? '\0' : drive[0];
    DEVINST disk = 0;
    // The eject request has the file system write out and dismount the volume; a lock of its own
    // would be released before the request anyway.
    if (!diskOfDrive(letter, disk)) return drive + " is not a volume of a disk the system knows";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (auto problem = ejectUsbDeviceOf(disk, drive, std::min(kEjectRetryFor, left))) return problem;
    while (isPresent(letter)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return drive + " is still there " + std::to_string(timeoutMs) + " ms after its device was ejected";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

}  // namespace platform::native
