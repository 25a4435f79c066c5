#include "platform/files/file_sync.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

// Any descriptor of the file serves: the kernel writes back the file's data, not a descriptor's.
bool syncFileToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fdatasync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace platform
