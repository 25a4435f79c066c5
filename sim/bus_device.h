// What the simulator asks of each device it serves, whatever the device is: one with a HID interface
// (ServedDevice: a controller or a board) or a plain USB stick (UsbStick).
#pragma once

#include "clock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class BusDevice {
public:
    virtual ~BusDevice() = default;

    virtual const std::string& name() const = 0;
    virtual bool plugged() const = 0;
    // Off the bus for a while but coming back by itself (a reset, a bootloader's update disk).
    virtual bool away() const { return false; }

    virtual void plug(Clock::time_point now) = 0;    // throws std::runtime_error, std::system_error
    virtual void unplug(Clock::time_point now) = 0;
    virtual void setBehaviour(std::string_view key, std::string_view value, Clock::time_point now) = 0;  // throws ConfigError

    // The stop tool's work on drive letter (see ServedDevice and UsbStick).
    enum class StopAnswer { NotMine, Stopped, Refused };
    virtual StopAnswer stopDrive(char letter, Clock::time_point now) = 0;

    // The image flash, for "dump"; nothing for a device that has none.
    virtual std::optional<std::vector<std::uint8_t>> imageData() const { return std::nullopt; }

    // Time-driven steps, and full-speed timing's frames; devices without them keep the defaults.
    virtual std::optional<Clock::time_point> nextDeadline() const { return std::nullopt; }
    virtual void onTime(Clock::time_point /*now*/) {}
    virtual bool wantsFrame() const { return false; }
    virtual void onFrame(std::int64_t /*frame*/, Clock::time_point /*now*/) {}
};

}  // namespace sim
