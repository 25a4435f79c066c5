// A plain USB stick on the bus: drive <L> on a port of its own (drives/<L>.port), holding files that
// are none of the controller's business (by default a firmware.bin of another device), so that a
// test can show that an update touches no drive but its controller's update disk. Like a stick, it
// keeps its files while it is unplugged; stopped by the stop tool (or drives/<L>.stop), it leaves the
// bus as an ejected stick does, until it is plugged in again.
#pragma once

#include "bus_device.h"
#include "device_config.h"
#include "recorder.h"

#include <filesystem>
#include <optional>
#include <string>

namespace sim {

class UsbStick final : public BusDevice {
public:
    // Reads the files to put on it (throws std::runtime_error when one cannot be read) into its
    // folder, which waits off the drive list (drives/.<name>.<pid>.stick) until it is plugged in.
    UsbStick(const DeviceConfig& config, Recorder& recorder, const std::filesystem::path& busDir);
    ~UsbStick() override;  // takes it off the bus, and its files with it
    UsbStick(const UsbStick&) = delete;
    UsbStick& operator=(const UsbStick&) = delete;

    const std::string& name() const override { return name_; }
    bool plugged() const override { return letter_.has_value(); }
    std::optional<char> letter() const { return letter_; }

    // Shows drive <L> on its port: the letter it was given, else the first free from F. Throws
    // std::runtime_error when that letter is taken, std::filesystem::filesystem_error on I/O.
    void plug(Clock::time_point now) override;
    void unplug(Clock::time_point now) override;
    void setBehaviour(std::string_view key, std::string_view value, Clock::time_point now) override;  // port only
    StopAnswer stopDrive(char letter, Clock::time_point now) override;

private:
    void takeOut();

    std::string name_;
    Behaviour behaviour_;
    char preferredLetter_;
    Recorder& recorder_;
    std::filesystem::path drivesDir_;
    std::filesystem::path parked_;  // its folder while it is unplugged
    std::optional<char> letter_;    // while plugged
};

}  // namespace sim
