// Making what has been written to a file survive a power cut, not only a crash of the program.
#pragma once

#include <string>

namespace platform {

// Hands the written data of the file at path to the disk and waits until it is there. It may take
// a while on a slow stick: not for the window's thread. False when the file cannot be opened (it
// has gone meanwhile) or the disk refuses.
bool syncFileToDisk(const std::string& path);

// Hands the folder's entries (a file just made, renamed or removed there) to the disk and waits until
// they are there: a file synced on its own may still lose its name to a power cut. On Windows NTFS
// flushes a folder opened with the right to add files, which a user allowed only to add files has.
// False, with the system's error for lastErrorText(), when the folder is gone or cannot be flushed:
// the entries are then not known to be on the disk.
bool syncFolderToDisk(const std::string& folder);

}  // namespace platform
