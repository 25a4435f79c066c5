// Files the program makes itself and nobody made before it: a name already taken, by a file or by a
// symbolic link planted there, is never opened, so a write cannot land in another file.
#pragma once

#include "platform/files/file_handle.h"

#include <string>
#include <string_view>

namespace platform {

// Creates path as a new, empty file open for writing; not open when anything is at path already.
File createNewFile(const std::string& path);

// Creates a new, empty file named stem + "." + a random part + suffix, open for writing; path
// receives its name. Not open when the folder takes no new file.
File createUniqueFile(const std::string& stem, std::string_view suffix, std::string& path);

}  // namespace platform
