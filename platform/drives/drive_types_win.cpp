// Windows: every drive letter the system has, with the type GetDriveTypeW gives its root, and the
// removable volumes that go by their volume GUID paths in the drive list.
#include "platform/drives/drives_backends.h"
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

}  // namespace

std::vector<DriveDescription> describeDrives()
{
    std::vector<DriveDescription> drives;
    const DWORD letters = GetLogicalDrives();
    for (int index = 0; index < 26; ++index) {
        if ((letters & (DWORD{1} << index)) == 0) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + index);
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        drives.push_back({{static_cast<char>('A' + index), ':'}, typeName(GetDriveTypeW(root))});
    }
    for (const std::string& volume : volumesWithoutOwnLetter()) drives.push_back({volume, typeName(DRIVE_REMOVABLE)});
    return drives;
}

}  // namespace platform::native
