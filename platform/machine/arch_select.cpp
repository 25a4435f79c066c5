// Chooses between the virtual bus's stand-in value and the operating system's answer.
#include "arch.h"

#include <cstdlib>

namespace platform {

std::string processorArchitecture()
{
    if (std::getenv("LUMARO_VBUS_DIR") != nullptr) {
        const char* arch = std::getenv("LUMARO_VBUS_ARCH");
        return arch != nullptr ? arch : "";
    }
    return nativeProcessorArchitecture();
}

}  // namespace platform
