#include "platform/core/setupapi_win.h"

#include <vector>

namespace platform {

bool interfaceDetail(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA& interface, SP_DEVINFO_DATA& element,
                     std::string& path)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(devices, &interface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
    std::vector<char> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    // The size of the record's fixed part as this build lays it out: 8 on 64-bit Windows, where
    // the 32-bit value (5 or 6) is refused.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    element.cbSize = sizeof element;
    if (!SetupDiGetDeviceInterfaceDetailA(devices, &interface, detail, size, nullptr, &element)) return false;
    path = detail->DevicePath;
    return true;
}

}  // namespace platform
