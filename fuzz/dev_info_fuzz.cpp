// DevInfo.DAT, the table of known controller models read from the program's folder.
#include "datafiles/dev_info.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const DevInfoTable table = parseDevInfo(std::string_view(reinterpret_cast<const char*>(data), size));
    // Every column stays within its character range.
    for (const DeviceModel& model : table.models) {
        if (model.modelName.size() > 28 || model.vidPid.size() > 17 || model.chipType.size() > 10) __builtin_trap();
        if (model.arrayCount < 0 || model.arrayCount > 9) __builtin_trap();
    }
    return 0;
}
