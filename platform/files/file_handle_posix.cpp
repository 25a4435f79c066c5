#include "platform/files/file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

std::optional<std::string> File::readAt(std::uint64_t offset, std::size_t count)
{
    std::string content(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        const ssize_t read = ::pread(fd(native_), content.data() + got, count - got, static_cast<off_t>(offset + got));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) return std::nullopt;
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    content.resize(got);
    return content;
}

std::optional<std::uint64_t> File::size() const
{
    struct stat status {};
    if (::fstat(fd(native_), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
}

std::size_t File::appendAtEnd(std::string_view data)
{
    if (::lseek(fd(native_), 0, SEEK_END) < 0) return 0;
    return write(data);
}

bool File::replaceWith(std::string_view data)
{
    if (::ftruncate(fd(native_), 0) != 0 || ::lseek(fd(native_), 0, SEEK_SET) != 0) return false;
    return write(data) == data.size();
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
