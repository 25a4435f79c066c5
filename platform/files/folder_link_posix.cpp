#include "platform/files/folder_link.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool isUntrustedFolderLink(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();  // "Record/" would name the target
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return false;
    return status.st_uid != 0 && status.st_uid != ::geteuid();
}

}  // namespace platform
