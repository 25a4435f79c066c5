#include "platform/files/file_lock.h"

#include <sys/file.h>

namespace platform {

// flock belongs to the open file, not the process: two opens in one program exclude each other too.
bool tryLockFile(const File& file)
{
    return ::flock(static_cast<int>(file.native()), LOCK_EX | LOCK_NB) == 0;
}

}  // namespace platform
