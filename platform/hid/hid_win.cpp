// Windows HID interfaces: SetupAPI lists the present interfaces of the HID class with each device's
// first hardware ID and the location path of the USB device above it; CreateFileW opens an interface
// path. Every handle is opened for overlapped I/O, so that each read and write can be given its time
// limit: a plain synchronous read would wait for ever on a device that stays silent. At open the
// interface's report lengths are read from its HID descriptor, so that a device that does not move
// 65-byte reports is refused there.
#include "platform/hid/hid_backends.h"
#include "platform/core/device_tree_win.h"
#include "platform/core/setupapi_win.h"
#include "platform/core/utf8_path.h"

// The HID headers of the mingw-w64 runtime declare C functions without a C linkage block of their own.
extern "C" {
#include <hidsdi.h>
}

#include <deque>
#include <utility>
#include <vector>

namespace platform::native {
namespace {

// A handle that closes itself.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    HANDLE get() const { return handle_; }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

// One overlapped transfer: its completion record, the manual-reset event the system signals, and
// the report it carries (which must stay put until the transfer has ended).
struct Transfer {
    Transfer() : event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) { overlapped.hEvent = event.get(); }
    OVERLAPPED overlapped{};
    OwnedHandle event;
    Report report{};
    bool reported = false;  // a write whose outcome has been taken
    OsError result = kOk;
};

OsError lastError() { return GetLastError(); }

class WinHidHandle final : public HidBackendHandle {
public:
    WinHidHandle(OwnedHandle device, HidAccess access) : device_(std::move(device)), access_(access) {}
    ~WinHidHandle() override {
        // Transfers still under way are cancelled and waited for: their buffers go with this object.
        CancelIoEx(device_.get(), nullptr);
        DWORD ignored = 0;
        for (auto& write : writes_) GetOverlappedResult(device_.get(), &write->overlapped, &ignored, TRUE);
        if (read_) GetOverlappedResult(device_.get(), &read_->overlapped, &ignored, TRUE);
    }
    WinHidHandle(const WinHidHandle&) = delete;
    WinHidHandle& operator=(const WinHidHandle&) = delete;

    OsError write(const Report& report, int timeoutMs) override {
        OsError error = kOk;
        WriteTicket ticket = 0;
        IoProgress progress = startWrite(report, ticket, error);
        if (progress != IoProgress::Pending) return progress == IoProgress::Done ? kOk : error;
        Transfer& transfer = *writes_.back();
        if (WaitForSingleObject(transfer.event.get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
            CancelIoEx(device_.get(), &transfer.overlapped);
            DWORD taken = 0;
            const bool finished = GetOverlappedResult(device_.get(), &transfer.overlapped, &taken, TRUE);
            transfer.reported = true;
            transfer.result = finished ? kOk : kErrorTimeout;
            return pollWrite(ticket, error) == IoProgress::Done ? kOk : error;
        }
        return pollWrite(ticket, error) == IoProgress::Done ? kOk : error;
    }

    OsError read(Report& report, int timeoutMs) override {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
        for (;;) {
            OsError error = kOk;
            const IoProgress progress = tryRead(report, error);
            if (progress != IoProgress::Pending) return progress == IoProgress::Done ? kOk : error;
            // The read stays under way after a time-out, so a report that comes later is not lost.
            // A read started again after an abort has an event of its own: the wait goes on with it.
            const ULONGLONG now = GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            if (WaitForSingleObject(read_->event.get(), left) != WAIT_OBJECT_0) return kErrorTimeout;
        }
    }

    // The HID class driver takes the writes of one handle in the order they were started.
    IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error) override {
        if (access_ == HidAccess::Read) return failedWith(kErrorAccessDenied, error);
        auto transfer = std::make_unique<Transfer>();
        transfer->report = report;
        if (!WriteFile(device_.get(), transfer->report.data(), static_cast<DWORD>(kReportSize), nullptr,
                       &transfer->overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return failedWith(lastError(), error);
        ticket = firstTicket_ + writes_.size();
        writes_.push_back(std::move(transfer));
        return pollWrite(ticket, error);
    }

    // A write's outcome is kept until its own ticket is asked for, so a failure is never lost to
    // a poll for another one.
    IoProgress pollWrite(WriteTicket ticket, OsError& error) override {
        if (ticket < firstTicket_ || ticket - firstTicket_ >= writes_.size()) return failedWith(kErrorInvalidParameter, error);
        Transfer& transfer = *writes_[ticket - firstTicket_];
        if (!transfer.reported) {
            if (!HasOverlappedIoCompleted(&transfer.overlapped)) return IoProgress::Pending;
            DWORD taken = 0;
            const OsError code = GetOverlappedResult(device_.get(), &transfer.overlapped, &taken, FALSE) ? kOk : lastError();
            transfer.reported = true;
            transfer.result = code;
        }
        const OsError result = transfer.result;
        while (!writes_.empty() && writes_.front()->reported) {
            writes_.pop_front();
            ++firstTicket_;
        }
        return result == kOk ? IoProgress::Done : failedWith(result, error);
    }

    // The system cancels the I/O a thread started when that thread ends, so the read left under way
    // by a request on a thread that has since ended completes as aborted. This handle cancels its
    // read only as it closes: an aborted read is no failure, and the report it waited for is still
    // queued in the driver, so a new read is started in its place.
    IoProgress tryRead(Report& report, OsError& error) override {
        if (access_ == HidAccess::Write) return failedWith(kErrorAccessDenied, error);
        if (!read_ && !startRead(error)) return IoProgress::Failed;
        const IoProgress progress = takeRead(report, error);
        if (progress != IoProgress::Failed || error != ERROR_OPERATION_ABORTED) return progress;
        if (!startRead(error)) return IoProgress::Failed;
        return takeRead(report, error);
    }

private:
    bool startRead(OsError& error) {
        read_ = std::make_unique<Transfer>();
        read_->report[0] = 0;
        if (!ReadFile(device_.get(), read_->report.data(), static_cast<DWORD>(kReportSize), nullptr, &read_->overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            error = lastError();
            read_.reset();
            return false;
        }
        return true;
    }

    // The outcome of the read under way, without waiting; a finished read is let go.
    IoProgress takeRead(Report& report, OsError& error) {
        if (!HasOverlappedIoCompleted(&read_->overlapped)) return IoProgress::Pending;
        DWORD got = 0;
        const bool ok = GetOverlappedResult(device_.get(), &read_->overlapped, &got, FALSE);
        const OsError code = ok ? kOk : lastError();
        if (ok) report = read_->report;
        read_.reset();
        return ok ? IoProgress::Done : failedWith(code, error);
    }

    OwnedHandle device_;
    HidAccess access_;
    std::deque<std::unique_ptr<Transfer>> writes_;  // under way, oldest first
    WriteTicket firstTicket_ = 0;  // the ticket of writes_.front()
    std::unique_ptr<Transfer> read_;  // the read under way, if any
};

// The first string of a device's hardware-ID list; false when it cannot be read.
bool firstHardwareId(HDEVINFO devices, SP_DEVINFO_DATA& element, std::string& id) {
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyA(devices, &element, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    if (size == 0) return false;
    std::string buffer(size, '\0');
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &element, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(buffer.data()), size, nullptr))
        return false;
    id = buffer.c_str();  // up to the first zero: the later strings of the list are not used
    return true;
}

// The longest input and output report of the interface, as its HID descriptor gives them; false for
// a handle whose lengths cannot be read (one that is no HID interface).
bool reportLengths(HANDLE device, USHORT& input, USHORT& output) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(device, &preparsed)) return false;
    HIDP_CAPS caps{};
    const bool read = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    input = caps.InputReportByteLength;
    output = caps.OutputReportByteLength;
    return read;
}

}  // namespace

std::vector<HidInterfaceInfo> listHidInterfaces(OsError& error) {
    error = kOk;
    std::vector<HidInterfaceInfo> list;
    HDEVINFO devices = SetupDiGetClassDevsA(&kHidInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) {
        error = lastError();
        return list;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &kHidInterfaceClass, index, &interface)) {
            if (GetLastError() != ERROR_NO_MORE_ITEMS) error = lastError();
            break;
        }
        // The device element is the one the interface belongs to, as the system pairs them.
        SP_DEVINFO_DATA element{};
        HidInterfaceInfo entry;
        if (!interfaceDetail(devices, interface, element, entry.path) ||
            !firstHardwareId(devices, element, entry.hardwareId)) {
            // A device that cannot be read ends the listing with failure instead of being skipped.
            error = GetLastError() != 0 ? lastError() : kErrorGenFailure;
            break;
        }
        // The interface's device node lies under the USB device (or its composite function) it is part of.
        entry.port = usbPortOf(element.DevInst);
        list.push_back(std::move(entry));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return list;
}

std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error) {
    const DWORD rights = access == HidAccess::Read    ? GENERIC_READ
                         : access == HidAccess::Write ? GENERIC_WRITE
                                                      : GENERIC_READ | GENERIC_WRITE;
    OwnedHandle device(CreateFileW(utf8Path(path).c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (device.get() == INVALID_HANDLE_VALUE) {
        error = lastError();
        return nullptr;
    }
    // The system takes reads and writes only of the interface's own report length: a device whose
    // reports are not 65 bytes long would fail every transfer, so it fails here, once, saying why.
    USHORT input = 0;
    USHORT output = 0;
    if (reportLengths(device.get(), input, output) && (input != kReportSize || output != kReportSize)) {
        error = kErrorReportLength;
        return nullptr;
    }
    error = kOk;
    return std::make_unique<WinHidHandle>(std::move(device), access);
}

}  // namespace platform::native
