// The backends behind hid.h; chosen per call by hid_select.cpp.
#pragma once

#include "platform/hid/hid.h"

namespace platform {
// A step of a backend that failed: error takes its code.
inline IoProgress failedWith(OsError code, OsError& error) {
    error = code;
    return IoProgress::Failed;
}
}  // namespace platform

namespace platform::vbus {
std::vector<HidInterfaceInfo> listHidInterfaces(const std::string& busDir, OsError& error);
std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error);
}  // namespace platform::vbus

namespace platform::native {
std::vector<HidInterfaceInfo> listHidInterfaces(OsError& error);
std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error);
}  // namespace platform::native
