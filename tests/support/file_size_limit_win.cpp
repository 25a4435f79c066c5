#include "file_size_limit.h"

namespace bustest {

// Windows has no per-process limit on a file's size.
bool limitFileSize(std::uint64_t)
{
    return false;
}

void liftFileSizeLimit() {}

}  // namespace bustest
