// Whether a file is one this user's programs made: what another user left in a shared folder is
// theirs to deal with, not this program's.
#pragma once

#include "platform/files/file_handle.h"

namespace platform {

// True for a plain file (no folder, device, pipe or link) owned by the user running the program.
bool isOwnRegularFile(const File& file);

}  // namespace platform
