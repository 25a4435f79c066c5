// HID interfaces of a Linux machine, through hidapi's hidraw backend; the USB port of each from sysfs.
#include "platform/hid/hid_backends.h"
#include "platform/core/usb_port.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace platform::native {
namespace {

bool initialiseHidapi() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = hid_init() == 0; });
    return ok;
}

// The form Windows gives a USB HID device's first hardware ID, which the model table is written against.
std::string hardwareIdOf(const hid_device_info& info) {
    char text[48];
    std::snprintf(text, sizeof text, "HID\\VID_%04X&PID_%04X&REV_%04X", info.vendor_id, info.product_id,
                  info.release_number);
    return text;
}

// /dev/hidraw2 before /dev/hidraw10: order by length first, so the numbering reads naturally and stays stable.
bool pathOrder(const HidInterfaceInfo& a, const HidInterfaceInfo& b) {
    if (a.path.size() != b.path.size()) return a.path.size() < b.path.size();
    return a.path < b.path;
}

class HidapiHandle final : public HidBackendHandle {
public:
    HidapiHandle(hid_device* device, HidAccess access) : device_(device), access_(access) {}
    ~HidapiHandle() override { hid_close(device_); }
    HidapiHandle(const HidapiHandle&) = delete;
    HidapiHandle& operator=(const HidapiHandle&) = delete;

    // hidraw writes block in the kernel only for the USB transfer, which the host controller times out.
    OsError write(const Report& report, int /*timeoutMs*/) override {
        if (access_ == HidAccess::Read) return kErrorAccessDenied;
        errno = 0;
        if (hid_write(device_, report.data(), report.size()) >= 0) return kOk;
        return errno != 0 ? fromErrno(errno) : kErrorDeviceNotConnected;
    }

    OsError read(Report& report, int timeoutMs) override {
        if (access_ == HidAccess::Write) return kErrorAccessDenied;
        // The bootloader and the controller use no numbered reports: hidraw hands over the 64 bytes
        // without the report ID, which the 65-byte layout keeps in byte 0.
        errno = 0;
        const int got = hid_read_timeout(device_, report.data() + 1, kReportSize - 1, timeoutMs);
        if (got < 0) return kErrorDeviceNotConnected;
        if (got == 0) return kErrorTimeout;
        report[0] = 0;
        std::fill(report.begin() + 1 + got, report.end(), std::uint8_t{0});
        return kOk;
    }

    // hidraw writes are not overlapped: a started write has finished when the call returns.
    IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error) override {
        ticket = 0;
        error = write(report, 0);
        return error == kOk ? IoProgress::Done : IoProgress::Failed;
    }

    IoProgress pollWrite(WriteTicket /*ticket*/, OsError& error) override {
        error = kOk;
        return IoProgress::Done;
    }

    IoProgress tryRead(Report& report, OsError& error) override {
        error = read(report, 0);
        if (error == kErrorTimeout) {
            error = kOk;
            return IoProgress::Pending;
        }
        return error == kOk ? IoProgress::Done : IoProgress::Failed;
    }

private:
    hid_device* device_;
    HidAccess access_;
};

}  // namespace

std::vector<HidInterfaceInfo> listHidInterfaces(OsError& error) {
    error = kOk;
    if (!initialiseHidapi()) {
        error = kErrorGenFailure;
        return {};
    }
    std::vector<HidInterfaceInfo> list;
    hid_device_info* all = hid_enumerate(0, 0);
    for (const hid_device_info* info = all; info != nullptr; info = info->next) {
        HidInterfaceInfo entry{hardwareIdOf(*info), info->path, {}};
        // hidapi may list one node once per top-level usage; the bus has one interface per node.
        if (std::none_of(list.begin(), list.end(), [&](const auto& e) { return e.path == entry.path; })) {
            entry.port = hidrawPort("/sys", entry.path);
            list.push_back(std::move(entry));
        }
    }
    hid_free_enumeration(all);
    std::sort(list.begin(), list.end(), pathOrder);
    return list;
}

std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error) {
    if (!initialiseHidapi()) {
        error = kErrorGenFailure;
        return nullptr;
    }
    errno = 0;
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) {
        error = errno != 0 ? fromErrno(errno) : kErrorFileNotFound;
        return nullptr;
    }
    error = kOk;
    return std::make_unique<HidapiHandle>(device, access);
}

}  // namespace platform::native
