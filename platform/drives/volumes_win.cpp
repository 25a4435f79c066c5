// Windows: the volume manager's volumes (FindFirstVolumeW), the letters and mounted folders of each
// (GetVolumePathNamesForVolumeNameW), what a DOS device name stands for in this session
// (QueryDosDeviceW), the disk under a volume (IOCTL_STORAGE_GET_DEVICE_NUMBER, matched against the
// disk interfaces the configuration manager lists) and that disk's bus (IOCTL_STORAGE_QUERY_PROPERTY).
#include "platform/drives/volumes_win.h"

#include "platform/core/device_tree_win.h"
#include "platform/core/setupapi_win.h"
#include "platform/core/system_handle_win.h"
#include "platform/core/utf8_path.h"
#include "platform/core/utf8_text_win.h"
#include "platform/drives/volume_name_rules.h"

#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>

namespace platform {
namespace {

using DeviceInfoSet = SystemHandle<SetupDiDestroyDeviceInfoList>;

// The disk device interface class (GUID_DEVINTERFACE_DISK).
constexpr GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// Asking again with the size the system names: a list may grow between two calls.
constexpr int kSizeTries = 4;

std::wstring wide(const std::string& text) { return utf8Path(text).native(); }

// The drive letters ("F:\") and mounted folders of a volume; none when it has none or they cannot be read.
std::vector<std::string> pathNamesOf(const std::string& volume)
{
    std::vector<wchar_t> buffer(MAX_PATH + 2, L'\0');
    for (int attempt = 0; attempt < kSizeTries; ++attempt) {
        DWORD needed = 0;
        if (GetVolumePathNamesForVolumeNameW(wide(volume).c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                             &needed)) {
            std::vector<std::string> names;
            for (const wchar_t* name = buffer.data(); *name != L'\0'; name += std::wcslen(name) + 1)
                names.push_back(utf8FromUtf16(name));
            return names;
        }
        if (GetLastError() != ERROR_MORE_DATA) return {};
        buffer.assign(needed + 2, L'\0');
    }
    return {};
}

// The number of the disk that holds a volume, or of a disk, opened as a device. Only disks count:
// CD drives and mounted images are numbered apart, and CdRom0 is not PhysicalDrive0.
bool diskNumberOf(const std::string& device, DWORD& number)
{
    const DeviceHandle opened(
        CreateFileW(wide(device).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!opened.isOpen()) return false;
    STORAGE_DEVICE_NUMBER storage{};
    DWORD returned = 0;
    if (!DeviceIoControl(opened.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &storage, sizeof storage, &returned,
                         nullptr))
        return false;
    number = storage.DeviceNumber;
    return storage.DeviceType == FILE_DEVICE_DISK;
}

// The device node of the disk with that number, among the present disk interfaces.
bool diskDeviceOf(DWORD diskNumber, DEVINST& disk)
{
    const DeviceInfoSet devices(SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!devices.isOpen()) return false;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!SetupDiEnumDeviceInterfaces(devices.get(), nullptr, &kDiskInterfaceClass, index, &interface)) return false;
        SP_DEVINFO_DATA element{};
        std::string path;
        DWORD number = 0;
        if (interfaceDetail(devices.get(), interface, element, path) && diskNumberOf(path, number) && number == diskNumber) {
            disk = element.DevInst;
            return true;
        }
    }
}

// The drive type of a volume's root, without the system's "no disk in the drive" message box: an
// empty card slot's volume is asked too, and a message box would hold the caller until answered.
UINT removableOrOtherType(const std::string& root)
{
    DWORD before = 0;
    const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &before) != 0;
    const UINT type = GetDriveTypeW(wide(root).c_str());
    if (quiet) SetThreadErrorMode(before, nullptr);
    return type;
}

// A removable volume of a USB device's disk that goes by its GUID path in this session. The cheap
// questions first: the letters, then the type; the disk's search opens every disk of the PC.
bool isUsbVolumeWithoutOwnLetter(const std::string& volume)
{
    if (!isVolumeGuidPath(volume)) return false;
    std::vector<LetterInSession> letters;
    for (const char letter : driveLettersAmong(pathNamesOf(volume)))
        letters.push_back({letter, dosDeviceTarget(std::string{letter, ':'})});
    if (driveNameOfVolume(volume, dosDeviceTarget(dosDeviceName(volume)), letters) != volume) return false;
    // Fixed disks, CD drives and the like are never the update disk.
    if (removableOrOtherType(volume) != DRIVE_REMOVABLE) return false;
    DEVINST disk = 0;
    return diskOfDrive(volume, disk) && !usbDeviceIdOf(disk).empty();
}

}  // namespace

std::vector<std::string> volumesWithoutOwnLetter()
{
    std::vector<std::string> volumes;
    wchar_t volume[MAX_PATH + 1] = {};
    const VolumeSearch search(FindFirstVolumeW(volume, MAX_PATH + 1));
    if (!search.isOpen()) return volumes;
    do {
        const std::string name = utf8FromUtf16(volume);
        if (isUsbVolumeWithoutOwnLetter(name)) volumes.push_back(name);
    } while (FindNextVolumeW(search.get(), volume, MAX_PATH + 1));
    // The volume manager's order is its own; the drive list keeps one from listing to listing.
    std::sort(volumes.begin(), volumes.end());
    return volumes;
}

bool diskOfDrive(const std::string& drive, DEVINST& disk)
{
    const std::string device = volumeDeviceToOpen(drive);
    if (device.empty()) return false;
    // Whatever a share would answer, a letter the user mapped to one holds no disk of this PC.
    if (isLetterDriveName(drive) && isNetworkRedirectorTarget(dosDeviceTarget(dosDeviceName(drive)))) return false;
    DWORD number = 0;
    return diskNumberOf(device, number) && diskDeviceOf(number, disk);
}

std::string dosDeviceTarget(const std::string& name)
{
    if (name.empty()) return {};
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < kSizeTries; ++attempt) {
        // A list of targets, the current one first.
        if (QueryDosDeviceW(wide(name).c_str(), buffer.data(), static_cast<DWORD>(buffer.size())) != 0)
            return utf8FromUtf16(buffer.data());
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.assign(buffer.size() * 8, L'\0');
    }
    return {};
}

bool isDrivePresent(const std::string& drive)
{
    if (isLetterDriveName(drive)) {
        const UINT type = GetDriveTypeW(wide(driveRoot(drive)).c_str());
        return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
    }
    // The mount manager takes a volume's name away when the volume goes.
    return isVolumeGuidPath(drive) && !dosDeviceTarget(dosDeviceName(drive)).empty();
}

bool isOnUsbBus(const std::string& drive)
{
    const std::string device = volumeDeviceToOpen(drive);
    if (device.empty()) return false;
    const DeviceHandle opened(
        CreateFileW(wide(device).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!opened.isOpen()) return false;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The descriptor's fixed part is enough; its strings follow it where the buffer has room.
    alignas(STORAGE_DEVICE_DESCRIPTOR) unsigned char buffer[512] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(opened.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, sizeof buffer,
                         &returned, nullptr) ||
        returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE))
        return false;
    return reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer)->BusType == BusTypeUsb;
}

}  // namespace platform
