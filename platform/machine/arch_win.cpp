// Windows: PROCESSOR_ARCHITECTURE from the machine's environment key in the registry, read only;
// the second control set stands in when the current one holds no value.
#include "platform/machine/arch.h"

#include <windows.h>

namespace platform {
namespace {

std::string readArchitecture(const char* key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return "";
    char value[64] = {};
    DWORD size = sizeof value - 1;  // room kept for a terminator the stored text may lack
    DWORD type = 0;
    const LONG read = RegQueryValueExA(handle, "PROCESSOR_ARCHITECTURE", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return "";
    return std::string(value, strnlen(value, size));
}

}  // namespace

std::string nativeProcessorArchitecture()
{
    std::string architecture =
        readArchitecture("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    if (architecture.empty())
        architecture = readArchitecture("SYSTEM\\ControlSet002\\Control\\Session Manager\\Environment");
    return architecture;
}

}  // namespace platform
