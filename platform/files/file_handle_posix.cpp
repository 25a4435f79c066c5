#include "platform/files/file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

int fd(std::intptr_t native) { return static_cast<int>(native); }

}  // namespace

std::size_t File::write(std::string_view data)
{
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(fd(native_), data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        written += static_cast<std::size_t>(count);
    }
    return written;
}

std::optional<std::string> File::readAll(std::size_t maxBytes)
{
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd(native_), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) return content;
        if (content.size() + static_cast<std::size_t>(count) > maxBytes) {
            errno = EFBIG;
            return std::nullopt;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

bool File::sync()
{
    return ::fsync(fd(native_)) == 0;
}

void File::close()
{
    if (isOpen()) ::close(fd(release()));
}

// O_NONBLOCK: a FIFO planted under the name must not hold the opening up.
File openForReading(const std::string& path)
{
    return File(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

std::string lastErrorText()
{
    return std::generic_category().message(errno);
}

}  // namespace platform
