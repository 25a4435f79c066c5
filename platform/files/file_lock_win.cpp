#include "platform/files/file_lock.h"

#include <windows.h>

namespace platform {

// Locks on Windows are enforced on reads and writes of the range: one byte far past any content is
// locked, so that the holder's writes and others' reads of the data go on.
bool tryLockFile(const File& file)
{
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFE;
    at.OffsetHigh = 0x7FFFFFFF;
    return LockFileEx(reinterpret_cast<HANDLE>(file.native()), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                      1, 0, &at) != 0;
}

}  // namespace platform
