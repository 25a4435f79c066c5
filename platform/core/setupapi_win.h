// Windows: what the SetupAPI users of the platform layer share.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

namespace platform {

// The HID device interface class.
inline constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The interface's openable path and the device element it belongs to; false when it cannot be read.
bool interfaceDetail(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA& interface, SP_DEVINFO_DATA& element,
                     std::string& path);

}  // namespace platform
