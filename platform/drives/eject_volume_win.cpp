#include "platform/drives/eject_volume_win.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdio>

namespace platform {
namespace {

constexpr int kLockTries = 20;
constexpr DWORD kLockRetryMs = 500;

bool control(HANDLE volume, DWORD code, void* input = nullptr, DWORD inputSize = 0)
{
    DWORD returned = 0;
    return DeviceIoControl(volume, code, input, inputSize, nullptr, 0, &returned, nullptr) != 0;
}

bool lockVolume(HANDLE volume)
{
    for (int attempt = 0; attempt < kLockTries; ++attempt) {
        if (control(volume, FSCTL_LOCK_VOLUME)) return true;
        Sleep(kLockRetryMs);
    }
    return false;
}

}  // namespace

bool EjectVolume(char letter)
{
    char root[8];
    std::snprintf(root, sizeof root, "%c:\\", letter);
    DWORD access = 0;
    switch (GetDriveTypeA(root)) {
    case DRIVE_REMOVABLE: access = GENERIC_READ | GENERIC_WRITE; break;
    case DRIVE_CDROM: access = GENERIC_READ; break;
    default:
        std::printf("Cannot eject.  Drive type is incorrect.\n");
        std::fflush(stdout);
        return false;
    }
    char volumeName[16];
    std::snprintf(volumeName, sizeof volumeName, "\\\\.\\%c:", letter);
    const HANDLE volume =
        CreateFileA(volumeName, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        std::printf("Error %d: %s\n", static_cast<int>(GetLastError()), "CreateFile");
        std::fflush(stdout);
        return false;
    }
    bool safeToRemove = false;
    bool ejected = false;
    if (lockVolume(volume) && control(volume, FSCTL_DISMOUNT_VOLUME)) {
        safeToRemove = true;
        PREVENT_MEDIA_REMOVAL allow{};
        allow.PreventMediaRemoval = FALSE;
        if (control(volume, IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof allow))
            ejected = control(volume, IOCTL_STORAGE_EJECT_MEDIA);
    }
    if (!CloseHandle(volume)) return false;
    if (ejected)
        std::printf("Media in Drive %c has been ejected safely.\n", letter);
    else if (safeToRemove)
        std::printf("Media in Drive %c can be safely removed.\n", letter);
    std::fflush(stdout);
    return true;
}

}  // namespace platform
