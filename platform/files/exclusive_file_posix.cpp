#include "platform/files/exclusive_file.h"

#include <fcntl.h>

namespace platform {

// O_EXCL fails on any name that exists, a symbolic link included, dangling or not.
File createNewFile(const std::string& path)
{
    return File(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

}  // namespace platform
