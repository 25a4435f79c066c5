#include "platform/files/file_move.h"

#include "platform/files/file_sync.h"

#include <cstdio>

namespace platform {

// The rename is an entry of the folder: on disk once the folder is synced.
bool moveIntoPlace(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    const std::size_t slash = to.find_last_of('/');
    return syncFolderToDisk(slash == std::string::npos ? std::string(".") : to.substr(0, slash + 1));
}

bool moveIntoPlaceSoon(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
