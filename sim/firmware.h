// What runs inside a simulated device: it takes the output reports the host sends and says what the
// device does in return. Firmware is pure logic; the served device (served_device.h) carries out
// its actions on the bus, with the timing and faults in force.
#pragma once

#include "clock.h"
#include "platform/hid/hid.h"
#include "recorder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using platform::Report;

struct FirmwareActions {
    std::vector<Report> replies;      // input reports, in the order the device produces them
    std::vector<DeviceEvent> events;  // record events ("protocol-error", "framing-error", ...)
    // The controller acknowledges this command after the replies (and after the busy spell, when
    // there is one). The served device builds the acknowledgement, so that its faults can withhold
    // or precede it.
    std::optional<std::uint8_t> acknowledge;
    // The device stops taking reports for busyMs (a flash erase); busyEndEvent is recorded when it
    // is over.
    std::optional<int> busyMs;
    std::string busyEndEvent;
    // The device resets: it leaves the bus and comes back as a fresh device after awayMs.
    std::optional<int> awayMs;
    // The controller leaves the bus for its bootloader, which shows the update disk.
    bool bootloaderMode = false;
};

class Firmware {
public:
    virtual ~Firmware() = default;
    // The device (re)appears on the bus: volatile state starts afresh, non-volatile memory stays.
    virtual void powerUp() = 0;
    // uptime: time since the simulator started; what the device measures drifts with it.
    virtual FirmwareActions handleReport(const Report& report, Clock::duration uptime) = 0;
    // The image flash of the controller side, record 0 first (see ImageFlash::contents).
    virtual std::vector<std::uint8_t> imageData() const = 0;
};

}  // namespace sim
