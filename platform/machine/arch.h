// The processor architecture of the machine, in the text the Windows registry keeps for it
// (PROCESSOR_ARCHITECTURE: "AMD64", "x86", ...), which decides the build of the external USB tool.
#pragma once

#include <string>

namespace platform {

// Returns the architecture text; an empty text when it cannot be read. On the virtual bus
// (LUMARO_VBUS_DIR set) the text comes from LUMARO_VBUS_ARCH, unset meaning empty.
std::string processorArchitecture();

// The operating system's own answer; one implementation per OS.
std::string nativeProcessorArchitecture();

}  // namespace platform
