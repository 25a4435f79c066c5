#include "platform/files/file_handle.h"

#include <utility>

namespace platform {

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        native_ = other.release();
    }
    return *this;
}

std::intptr_t File::release()
{
    return std::exchange(native_, kClosed);
}

}  // namespace platform
