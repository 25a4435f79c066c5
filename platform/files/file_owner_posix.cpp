#include "platform/files/file_owner.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool isOwnRegularFile(const File& file)
{
    struct stat status {};
    if (::fstat(static_cast<int>(file.native()), &status) != 0) return false;
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
}

}  // namespace platform
