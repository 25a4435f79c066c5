// Marks a file as in use by one holder, so that other instances of the program, or other users,
// leave it alone: the journal of a log still running is not a crash's leftover.
//
// A lock file that goes with its holder (removed as it lets go) is safe only when its name is
// removed while it is still locked, and when a new holder checks, once it holds the lock, that the
// name still leads to the file it locked: whoever opened the file before its name went, and locks
// it after its holder let go, then finds it nameless and tries again, instead of holding a lock
// that a newcomer making the name afresh would hold too.
#pragma once

#include "platform/files/file_handle.h"

#include <string>

namespace platform {

// Takes the file's lock without waiting; false when another open file holds it. The lock goes with
// the file's closing, or with the program, however it ends.
bool tryLockFile(const File& file);

// Creates path as a new, empty lock file (never through a name already taken, a planted link
// included), open so that its holder may remove it while others have it open too.
File createLockFile(const std::string& path);

// Whether name in folder (ending with a separator) still leads to this open file: false once its
// name was removed, or is being removed, or holds another file.
bool lockedFileIsNamed(const File& file, const std::string& folder, const std::string& name);

// Removes the name of a file whose lock the caller holds, before the lock goes, and only while the
// name still leads to that file; false when it stays.
bool removeLockedFileName(const File& file, const std::string& folder, const std::string& name);

}  // namespace platform
