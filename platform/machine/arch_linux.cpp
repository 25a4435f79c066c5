// Linux: the kernel's machine name, mapped to the registry's text for a 64-bit or 32-bit system.
#include "platform/machine/arch.h"

#include <sys/utsname.h>

namespace platform {

std::string nativeProcessorArchitecture()
{
    utsname name{};
    if (uname(&name) != 0) return "";
    const std::string machine = name.machine;
    // x86_64, aarch64, ppc64le, s390x, riscv64: every 64-bit machine name carries "64" or is s390x.
    const bool is64Bit = machine.find("64") != std::string::npos || machine == "s390x";
    return is64Bit ? "AMD64" : "x86";
}

}  // namespace platform
