// Windows: a handle the system gave, closed by its own function when its holder goes: a file or
// device (CloseHandle), a volume search (FindVolumeClose), a device information set
// (SetupDiDestroyDeviceInfoList). Each of them stands for "none" with INVALID_HANDLE_VALUE.
#pragma once

#include <windows.h>

namespace platform {

template <auto close>
class SystemHandle {
public:
    explicit SystemHandle(HANDLE handle) : handle_(handle) {}
    ~SystemHandle() {
        if (isOpen()) close(handle_);
    }
    SystemHandle(const SystemHandle&) = delete;
    SystemHandle& operator=(const SystemHandle&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

using DeviceHandle = SystemHandle<CloseHandle>;
using VolumeSearch = SystemHandle<FindVolumeClose>;

}  // namespace platform
