// Windows: the volume ejection routine, and the device that holds a drive's volume.
#pragma once

namespace platform {

// Locks (20 tries, 500 ms apart), dismounts and ejects the volume of drive letter, writing what it
// did to the standard output. False for a drive that is neither removable nor a CD-ROM drive, when
// the volume cannot be opened, or when its handle cannot be closed; true otherwise, also when the
// volume stayed locked by another program.
bool EjectVolume(char letter);

}  // namespace platform
