// The library's process-global session state, and the handle pair every board exchange uses.
// There is no session object: the exports are called by one thread at a time.
#pragma once

#include "bootloader/memory_layout.h"
#include "bootloader/reply_wait.h"
#include "platform/hid/hid.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zerlin {

// Interface path found by the session's search; empty when it found none. On Windows the path comes in an interface
// detail record whose size field must be the fixed part's size for the build (8 on 64-bit, 6 on
// 32-bit; a 6 on 64-bit makes the detail call fail); here it is kept as the path alone.
extern std::string bootDevicePath;
extern platform::HidHandle bootWriteHandle;
extern platform::HidHandle bootReadHandle;
extern platform::OsError bootLastIoError;
extern std::optional<std::array<MemoryRegion, kRegionSlots>> regionTable;  // none before any session
extern std::uint8_t regionCount;
extern std::array<std::vector<std::uint8_t>, kRegionSlots> regionImage;  // empty: no image
extern std::uint8_t bytesPerPacket;
extern std::uint8_t bytesPerAddress;

// Whether the session holds a layout that programming and verification can use.
bool hasUsableLayout();

// Whether the session also holds a whole image for each region: a failed load leaves none.
bool hasImagesToProgram();

// Opens bootWriteHandle and bootReadHandle on bootDevicePath for the lifetime of the object and
// closes both when it ends, whatever the outcome. A failed open keeps its code in bootLastIoError.
class SessionHandles {
public:
    SessionHandles();
    ~SessionHandles();
    SessionHandles(const SessionHandles&) = delete;
    SessionHandles& operator=(const SessionHandles&) = delete;

    bool isOpen() const { return open_; }

private:
    bool open_ = false;
};

// One write on bootWriteHandle / read on bootReadHandle; the step's code goes to bootLastIoError.
bool writeBootReport(const Report& report, int timeoutMs = kWriteTimeoutMs);
bool readBootReport(Report& report, int timeoutMs);

// Reads on bootReadHandle until a reply to `command` arrives, within timeoutMs in all. Replies
// with another command byte are read past: late answers to an earlier call's requests (read-back
// data left over from a verification that stopped early) that would otherwise pass for this one.
bool readBootReplyTo(BootCommand command, Report& reply, int timeoutMs);

// Erase, then wait until the bootloader answers a query again (the open session handles).
bool eraseAndWait();

// Runs an export's body. Exceptions must not cross the C interface; the only one expected is a
// failed allocation, which fails the call like any other failure.
template <typename Body>
std::uint8_t failSafe(Body body) noexcept
{
    try {
        return body() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace zerlin
