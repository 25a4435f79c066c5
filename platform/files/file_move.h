// Putting a finished file in place of another in one step, so that the name holds either the old
// file or the new one, and keeps the new one through a power cut.
#pragma once

#include <string>

namespace platform {

// Moves the file at from to to, replacing what is there, and waits until the move is on the disk.
// The file's own data is to be synced before (File::sync). False when either step failed; the file
// may then be at either name.
bool moveIntoPlace(const std::string& from, const std::string& to);

// The same without waiting for the disk: the name holds either file even after a crash of the
// program, and the new one reaches the disk when the system writes its folder out (within seconds).
bool moveIntoPlaceSoon(const std::string& from, const std::string& to);

}  // namespace platform
