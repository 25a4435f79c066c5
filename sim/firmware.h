// What runs inside a simulated device: it takes the output reports the host sends and says what the
// device does in return. Firmware is pure logic; the served device (served_device.h) carries out
// its actions on the bus, with the timing and faults in force.
#pragma once

#include "platform/hid.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

using platform::Report;

struct FirmwareActions {
    std::vector<Report> replies;      // input reports, in the order the device produces them
    std::vector<std::string> events;  // record events ("protocol-error", "framing-error", ...)
    // The device stops taking reports for busyMs (a flash erase); busyEndEvent is recorded when it
    // is over.
    std::optional<int> busyMs;
    std::string busyEndEvent;
    // The device resets: it leaves the bus and comes back as a fresh device after awayMs.
    std::optional<int> awayMs;
};

class Firmware {
public:
    virtual ~Firmware() = default;
    // The device (re)appears on the bus: volatile state starts afresh, non-volatile memory stays.
    virtual void powerUp() = 0;
    virtual FirmwareActions handleReport(const Report& report) = 0;
};

}  // namespace sim
