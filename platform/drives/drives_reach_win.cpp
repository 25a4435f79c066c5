// Windows: the mount manager mounts every volume of a USB disk as it comes; nothing is left to reach.
#include "platform/drives/drives_backends.h"

namespace platform::native {

std::string reachUsbDisks(const std::string& /*port*/, const UsbDiskWanted& /*wanted*/) { return {}; }

}  // namespace platform::native
