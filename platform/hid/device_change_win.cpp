#include "platform/hid/device_change_win.h"
#include "platform/core/setupapi_win.h"

#include <dbt.h>

#include <cstring>

namespace platform {

DeviceChange decodeDeviceChange(std::uintptr_t wParam, std::intptr_t lParam)
{
    if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return DeviceChange::None;
    // Volumes and ports are announced to every top-level window: only HID interfaces count.
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A))
        return DeviceChange::None;
    const auto* interface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
    if (std::memcmp(&interface->dbcc_classguid, &kHidInterfaceClass, sizeof(GUID)) != 0) return DeviceChange::None;
    return wParam == DBT_DEVICEARRIVAL ? DeviceChange::Arrival : DeviceChange::Removal;
}

void* registerForHidInterfaces(void* window)
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    return RegisterDeviceNotificationA(static_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void unregisterDeviceChanges(void* registration)
{
    if (registration != nullptr) UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(registration));
}

}  // namespace platform
