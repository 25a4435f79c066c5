#include "platform/files/plain_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

PlainFileOpening refused(PlainFileOpening::Found found, int error)
{
    errno = error;
    return {File(), found};
}

}  // namespace

// Relative to the folder's descriptor, so that the name is looked up in that folder and nowhere
// else. O_NOFOLLOW refuses a link as the last part (ELOOP); O_NONBLOCK lets a pipe open without a
// writer instead of waiting for one, and is of no effect on a plain file's reads and writes.
PlainFileOpening openPlainFile(const std::string& folder, const std::string& name, PlainFileAccess access)
{
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return refused(PlainFileOpening::Found::Failed, errno);
    const int mode = access == PlainFileAccess::Read ? O_RDONLY : O_RDWR | O_APPEND;
    const int fd = ::openat(directory, name.c_str(), mode | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int openError = errno;
    ::close(directory);
    if (fd < 0) {
        if (openError == ENOENT) return refused(PlainFileOpening::Found::Nothing, openError);
        if (openError == ELOOP || openError == EISDIR) return refused(PlainFileOpening::Found::NotPlain, openError);
        return refused(PlainFileOpening::Found::Failed, openError);
    }
    File file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) return refused(PlainFileOpening::Found::Failed, errno);
    // A second name of a file another user could not read, made where hard links to others' files
    // are allowed, would have it read as the program's.
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1) return refused(PlainFileOpening::Found::NotPlain, EINVAL);
    return {std::move(file), PlainFileOpening::Found::File};
}

}  // namespace platform
