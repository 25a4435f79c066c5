// Making what has been written to a file survive a power cut, not only a crash of the program.
#pragma once

#include <string>

namespace platform {

// Hands the written data of the file at path to the disk and waits until it is there. It may take
// a while on a slow stick: not for the window's thread. False when the file cannot be opened (it
// has gone meanwhile) or the disk refuses.
bool syncFileToDisk(const std::string& path);

}  // namespace platform
