#include "platform/files/file_lock.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

namespace {

HANDLE handleOf(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }

// A file marked for deletion keeps its name until its last handle closes, but is gone already.
bool deletePending(HANDLE handle)
{
    FILE_STANDARD_INFO standard{};
    return !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
           standard.DeletePending;
}

}  // namespace

// Locks on Windows are enforced on reads and writes of the range: one byte far past any content is
// locked, so that the holder's writes and others' reads of the data go on.
bool tryLockFile(const File& file)
{
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFE;
    at.OffsetHigh = 0x7FFFFFFF;
    return LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// CREATE_NEW fails on any name that exists, a link or junction included. Deletion is shared, so
// that the holder can remove the name while others have the file open to try its lock.
File createLockFile(const std::string& path)
{
    const HANDLE file = CreateFileW(utf8Path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return File(reinterpret_cast<std::intptr_t>(file));
}

// The name is opened for its attributes only, sharing everything, and compared by volume and file
// index; a name that is being deleted does not open at all.
bool lockedFileIsNamed(const File& file, const std::string& folder, const std::string& name)
{
    if (deletePending(handleOf(file))) return false;
    const HANDLE named = CreateFileW(utf8Path(folder + name).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION held{}, found{};
    const bool same = GetFileInformationByHandle(handleOf(file), &held) && GetFileInformationByHandle(named, &found) &&
                      held.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
                      held.nFileIndexHigh == found.nFileIndexHigh && held.nFileIndexLow == found.nFileIndexLow;
    CloseHandle(named);
    return same;
}

// The held file itself is marked for deletion through a second handle to it (ReOpenFile asks for
// the right to delete, which the lock's own handle may lack), not whatever its name holds. A handle
// of an older version that does not share deletion makes this fail: the file then stays.
bool removeLockedFileName(const File& file, const std::string& folder, const std::string& name)
{
    if (!lockedFileIsNamed(file, folder, name)) return false;
    const HANDLE deleting =
        ReOpenFile(handleOf(file), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (deleting == INVALID_HANDLE_VALUE) return false;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool marked = SetFileInformationByHandle(deleting, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    CloseHandle(deleting);
    return marked;
}

}  // namespace platform
