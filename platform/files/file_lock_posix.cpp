#include "platform/files/file_lock.h"

#include "platform/files/exclusive_file.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// flock belongs to the open file, not the process: two opens in one program exclude each other too.
bool tryLockFile(const File& file)
{
    return ::flock(static_cast<int>(file.native()), LOCK_EX | LOCK_NB) == 0;
}

// An open file may lose its name at any time here, so nothing about the opening needs to differ.
File createLockFile(const std::string& path) { return createNewFile(path); }

bool lockedFileIsNamed(const File& file, const std::string& folder, const std::string& name)
{
    struct stat held {}, named {};
    if (::fstat(static_cast<int>(file.native()), &held) != 0 || held.st_nlink == 0) return false;
    if (::lstat((folder + name).c_str(), &named) != 0) return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool removeLockedFileName(const File& file, const std::string& folder, const std::string& name)
{
    return lockedFileIsNamed(file, folder, name) && ::unlink((folder + name).c_str()) == 0;
}

}  // namespace platform
