// The program's files in a folder that others may write into (the update history shared by the users
// of a PC): a name there may hold a link to another user's file, a folder, a pipe or a second name of
// a file that is not the program's, put there by anyone. Only a plain file with no other name is
// opened: never through a symbolic link or a junction, and a pipe never holds the opening up.
#pragma once

#include "platform/files/file_handle.h"

#include <string>

namespace platform {

enum class PlainFileAccess {
    Read,
    ReadAppend,  // appendAtEnd adds to what is there
};

struct PlainFileOpening {
    enum class Found {
        File,      // file is open
        Nothing,   // no such name
        NotPlain,  // a link, a folder, a pipe, a device, or a file that has another name too
        Failed,    // the system refused (lastErrorText says why)
    };
    File file;
    Found found = Found::Nothing;
};

// Opens name (no separator) in folder (ending with a separator). The folder itself is taken as
// given: the caller vouches for it (folder_link.h).
PlainFileOpening openPlainFile(const std::string& folder, const std::string& name, PlainFileAccess access);

}  // namespace platform
