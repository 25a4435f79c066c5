// Chooses, per call, between the virtual bus and the operating system's HID interfaces.
#include "platform/hid/hid_backends.h"
#include "platform/core/vbus_dir.h"

namespace platform {

std::vector<HidInterfaceInfo> listHidInterfaces(OsError* error) {
    OsError code = kOk;
    auto list = virtualBusDir() ? vbus::listHidInterfaces(*virtualBusDir(), code)
                                : native::listHidInterfaces(code);
    if (error != nullptr) *error = code;
    return list;
}

HidHandle HidHandle::open(const std::string& path, HidAccess access, OsError& error) {
    error = kOk;
    auto backend = virtualBusDir() ? vbus::openHid(path, access, error) : native::openHid(path, access, error);
    return HidHandle(std::move(backend));
}

}  // namespace platform
