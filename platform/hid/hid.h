// HID interfaces as the rest of the system sees them: a list of present interfaces (first
// hardware-ID string and openable path) and handles that move 65-byte reports with time limits.
//
// Two backends sit behind this header: the operating system's own HID devices, and the virtual bus
// (a directory of sockets standing in for the USB bus) when LUMARO_VBUS_DIR is set. The choice is
// made on every call, so a process can be pointed at a bus before its first use.
#pragma once

#include "platform/core/os_error.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

inline constexpr std::size_t kReportSize = 65;  // report ID byte + 64-byte report
using Report = std::array<std::uint8_t, kReportSize>;

struct HidInterfaceInfo {
    std::string hardwareId;  // first hardware-ID string, e.g. HID\VID_04D8&PID_003C&REV_0002
    std::string path;        // what HidHandle::open takes
    // The USB port the interface's device is plugged into, as a hub chain ("1-2.3" from Linux's
    // sysfs; the USB device node's location path on Windows; hid/<name>.port on the virtual bus).
    // Compared only for equality; empty when the system cannot tell.
    std::string port;
};

// Present HID interfaces in a stable enumeration order. Returns an empty list when none is present;
// error (optional) is set to the code of a failed enumeration, else kOk. An enumeration that fails
// part-way (an interface whose hardware ID cannot be read) returns the interfaces before it.
std::vector<HidInterfaceInfo> listHidInterfaces(OsError* error = nullptr);

enum class HidAccess { Read, Write, ReadWrite };

// Result of a step that does not wait (pipelined I/O).
enum class IoProgress { Done, Pending, Failed };

class HidBackendHandle;  // one per backend, defined in the backend's file

// Identifies one started write; tickets of one handle count up from 0.
using WriteTicket = std::uint64_t;

// An open HID interface. Move-only; closes itself when destroyed.
class HidHandle {
public:
    HidHandle();
    ~HidHandle();
    HidHandle(HidHandle&&) noexcept;
    HidHandle& operator=(HidHandle&&) noexcept;
    HidHandle(const HidHandle&) = delete;
    HidHandle& operator=(const HidHandle&) = delete;

    // Opens path with the given access. Returns a closed handle and sets error on failure
    // (kErrorFileNotFound for a path that is gone, kErrorAccessDenied when it may not be opened).
    static HidHandle open(const std::string& path, HidAccess access, OsError& error);

    bool isOpen() const;

    // Writes one output report; waits at most timeoutMs for the device to take it.
    // Returns kOk, kErrorTimeout, kErrorDeviceNotConnected, kErrorAccessDenied (read-only handle)
    // or kErrorInvalidHandle.
    OsError write(const Report& report, int timeoutMs);

    // Reads the next input report; waits at most timeoutMs (0: only what is already there).
    // Returns kOk, kErrorTimeout when nothing came in time, kErrorDeviceNotConnected when the device
    // left, kErrorAccessDenied (write-only handle) or kErrorInvalidHandle.
    OsError read(Report& report, int timeoutMs);

    // Overlapped writes for pipelined exchanges. startWrite queues a copy of the report behind any
    // that the device has not taken yet (so reports always go out in the order they were started)
    // and sets ticket: Done when the device took it at once, Pending when it waits in the queue,
    // Failed with error set. pollWrite moves the queue on without waiting: Done once the report of
    // that ticket has been taken, Pending while it waits, Failed with error set.
    IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error);
    IoProgress pollWrite(WriteTicket ticket, OsError& error);

    // Non-waiting read: Done with report filled, Pending when none has arrived yet, Failed with error set.
    IoProgress tryRead(Report& report, OsError& error);

    // Closes the handle; harmless on a closed one.
    void close();

private:
    explicit HidHandle(std::unique_ptr<HidBackendHandle> backend);
    std::unique_ptr<HidBackendHandle> backend_;
};

// What each backend implements; only platform/ sees the concrete classes.
class HidBackendHandle {
public:
    virtual ~HidBackendHandle() = default;
    virtual OsError write(const Report& report, int timeoutMs) = 0;
    virtual OsError read(Report& report, int timeoutMs) = 0;
    virtual IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error) = 0;
    virtual IoProgress pollWrite(WriteTicket ticket, OsError& error) = 0;
    virtual IoProgress tryRead(Report& report, OsError& error) = 0;
};

}  // namespace platform
