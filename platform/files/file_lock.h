// Marks a file as in use by one holder, so that other instances of the program, or other users,
// leave it alone: the journal of a log still running is not a crash's leftover.
#pragma once

#include "platform/files/file_handle.h"

namespace platform {

// Takes the file's lock without waiting; false when another open file holds it. The lock goes with
// the file's closing, or with the program, however it ends.
bool tryLockFile(const File& file);

}  // namespace platform
