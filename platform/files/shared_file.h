// Files that every user of the PC must be able to write, such as the update history's in a folder
// made for all of them: one user's program appends to a file another user's program began.
#pragma once

#include "platform/files/file_handle.h"

#include <string>

namespace platform {

// Gives a file just made in folder the rights that the folder gives to others: on Linux a folder
// that the group or everyone may write into, without the sticky bit, makes the file readable and
// writable by them too (a sticky folder keeps its files their owner's; umask would take those
// rights away). On Windows the folder's inherited rules already do this: nothing to do.
void shareLikeItsFolder(const File& file, const std::string& folder);

}  // namespace platform
