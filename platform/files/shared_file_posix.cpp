#include "platform/files/shared_file.h"

#include <sys/stat.h>

namespace platform {

// By the open descriptor, never by name: in a folder that others may write into, the name could
// be swapped for a link to another file between the making and this.
void shareLikeItsFolder(const File& file, const std::string& folder)
{
    struct stat folderStatus {};
    struct stat fileStatus {};
    if (!file.isOpen() || ::stat(folder.c_str(), &folderStatus) != 0 || (folderStatus.st_mode & S_ISVTX) != 0) return;
    const int fd = static_cast<int>(file.native());
    if (::fstat(fd, &fileStatus) != 0) return;
    mode_t mode = fileStatus.st_mode & 0777;
    if (folderStatus.st_mode & S_IWGRP) mode |= S_IRGRP | S_IWGRP;
    if (folderStatus.st_mode & S_IWOTH) mode |= S_IROTH | S_IWOTH;
    if (mode != (fileStatus.st_mode & 0777)) ::fchmod(fd, mode);
}

}  // namespace platform
