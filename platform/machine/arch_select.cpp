// Chooses between the virtual bus's stand-in value and the operating system's answer.
#include "platform/machine/arch.h"

#include "platform/core/vbus_dir.h"

#include <cstdlib>

namespace platform {

std::string processorArchitecture()
{
    if (virtualBusDir()) {
        const char* arch = std::getenv("LUMARO_VBUS_ARCH");
        return arch != nullptr ? arch : "";
    }
    return nativeProcessorArchitecture();
}

}  // namespace platform
