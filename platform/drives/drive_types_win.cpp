// Windows: every drive letter the system has, with the type GetDriveTypeW gives its root, and the
// removable volumes that go by their volume GUID paths in the drive list; and among them the disks
// on USB, the only drives the update disk's search looks into. The type of a letter's root comes
// from the session's device map, not from the volume: it is asked of every letter, a share's too.
#include "platform/drives/drives_backends.h"
#include "platform/drives/drive_probe_rules.h"
#include "platform/drives/volumes_win.h"

#include <windows.h>

namespace platform::native {
namespace {

const char* typeName(UINT type)
{
    switch (type) {
    case DRIVE_REMOVABLE:
        return "removable";
    case DRIVE_FIXED:
        return "fixed";
    case DRIVE_REMOTE:
        return "network";
    case DRIVE_CDROM:
        return "CD-ROM";
    case DRIVE_RAMDISK:
        return "RAM disk";
    case DRIVE_NO_ROOT_DIR:
        return "no root directory";
    default:
        return "unknown";
    }
}

UINT typeOfLetter(char letter)
{
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    return GetDriveTypeW(root);
}

}  // namespace

std::vector<DriveDescription> describeDrives()
{
    std::vector<DriveDescription> drives;
    const DWORD letters = GetLogicalDrives();
    for (int index = 0; index < 26; ++index) {
        if ((letters & (DWORD{1} << index)) == 0) continue;
        const char letter = static_cast<char>('A' + index);
        drives.push_back({{letter, ':'}, typeName(typeOfLetter(letter))});
    }
    for (const std::string& volume : volumesWithoutOwnLetter()) drives.push_back({volume, typeName(DRIVE_REMOVABLE)});
    return drives;
}

// The letters of the drive list (C to Z) whose volume may be asked its bus, then those volumes
// without a letter of their own, which are removable USB disks by their finding.
std::vector<DriveDescription> describeUsbDisks()
{
    std::vector<DriveDescription> disks;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string drive{letter, ':'};
        const UINT type = typeOfLetter(letter);
        if (mayAskBusOf(static_cast<DriveType>(type), dosDeviceTarget(drive)) && isOnUsbBus(drive))
            disks.push_back({drive, typeName(type)});
    }
    for (const std::string& volume : volumesWithoutOwnLetter()) disks.push_back({volume, typeName(DRIVE_REMOVABLE)});
    return disks;
}

}  // namespace platform::native
