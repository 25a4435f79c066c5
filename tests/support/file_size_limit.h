// A full disk, as this process sees it: files cannot grow past a size, so that a write is cut short.
#pragma once

#include <cstdint>

namespace bustest {

// From now on no file of this process grows past bytes; false where the system offers no such limit.
bool limitFileSize(std::uint64_t bytes);
// Files grow as before.
void liftFileSizeLimit();

}  // namespace bustest
