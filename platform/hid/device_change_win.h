// Windows: device-change notifications for the HID interface class, without Qt, so that the
// registration and the decoding of WM_DEVICECHANGE can be tested on their own.
#pragma once

#include <cstdint>

namespace platform {

enum class DeviceChange { None, Arrival, Removal };

// What a WM_DEVICECHANGE message with these parameters says of HID interfaces: an arrival (0x8000)
// or a removal (0x8004) of a HID device interface; None for every other event and device type.
DeviceChange decodeDeviceChange(std::uintptr_t wParam, std::intptr_t lParam);

// Registers the window for arrivals and removals of HID device interfaces. Returns the
// registration, or nullptr (with the system's error code kept by the system) when it failed.
void* registerForHidInterfaces(void* window);
void unregisterDeviceChanges(void* registration);

}  // namespace platform
