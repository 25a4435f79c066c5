// One device served on the bus: its HID interface, its firmware, and the timing and faults in
// force. It decides when a report is taken and when an answer goes out; the firmware decides what
// the answer is. A controller's bootloader, which shows the update disk, is served here too.
#pragma once

#include "bus_device.h"
#include "device_config.h"
#include "event_loop.h"
#include "firmware.h"
#include "hid_endpoint.h"
#include "recorder.h"
#include "update_disk.h"
#include "usb_gadget.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace sim {

class ServedDevice final : public BusDevice {
public:
    // origin: the simulator's start, from which the firmware's uptime counts. A controller reads
    // its firmware file here (throws std::runtime_error when it cannot).
    // usbUdc: served as a USB gadget on the kernel's dummy_udc.<usbUdc> instead of on the bus.
    ServedDevice(const DeviceConfig& config, std::unique_ptr<Firmware> firmware, EventLoop& loop,
                 Recorder& recorder, const std::filesystem::path& busDir, Clock::time_point origin,
                 std::optional<int> usbUdc = std::nullopt);

    const std::string& name() const override { return name_; }
    bool plugged() const override { return endpoint_->present(); }
    // Off the bus for a while: away for a reset and coming back, or in its bootloader (waiting to
    // show the update disk, or showing it).
    bool away() const override { return returnAt_.has_value() || diskAt_.has_value() || (disk_ && disk_->shown()); }

    // Appears on its port (behaviour's port, as it is at that moment); also takes a bootloader's
    // update disk away. Throws std::system_error.
    void plug(Clock::time_point now) override;
    void unplug(Clock::time_point now) override;  // also calls off the return after a reset and the update disk
    void setBehaviour(std::string_view key, std::string_view value, Clock::time_point now) override;  // throws ConfigError

    // The stop tool's work: when this device shows the update disk with that letter, takes the disk
    // off the bus, takes its "Upfirmware.bin" as the new firmware and comes back with it. False when
    // the drive is not this device's; refused, leaving the disk where it is, with disk=refuse-stop.
    StopAnswer stopDrive(char letter, Clock::time_point now) override;
    std::optional<std::vector<std::uint8_t>> imageData() const override { return firmware_->imageData(); }

    // Time-driven steps: the end of a busy spell, the return after a reset, the update disk (shown
    // on the device's port: one device, one port).
    std::optional<Clock::time_point> nextDeadline() const override;
    void onTime(Clock::time_point now) override;

    // Full-speed timing: whether the next frame has work, and that frame's work.
    bool wantsFrame() const override;
    void onFrame(std::int64_t frame, Clock::time_point now) override;

private:
    struct PendingReply {
        std::int64_t dueFrame;
        Report report;
    };

    void takeWaitingReports();
    void handle(const Report& report, Clock::time_point now, std::int64_t frame);
    void reply(const Report& report, Clock::time_point now, std::int64_t dueFrame);
    void acknowledge(std::uint8_t command, Clock::time_point now, std::int64_t dueFrame);
    void send(const Report& report, Clock::time_point now);
    void leave(Clock::time_point now);
    void showDisk(Clock::time_point now);
    void callOffDisk(Clock::time_point now);
    void diskStopped(Clock::time_point now);
    bool busy() const { return busyUntil_.has_value(); }
    std::string port() const { return behaviour_.port.value_or(""); }

    std::string name_;
    Behaviour behaviour_;
    DeviceKind kind_;
    int diskMs_;
    std::unique_ptr<Firmware> firmware_;
    Recorder& recorder_;
    Clock::time_point origin_;
    std::unique_ptr<HidSide> endpoint_;
    std::uint32_t reportsCounted_ = 0;  // towards unplug-after
    std::optional<Clock::time_point> busyUntil_;
    std::string busyEndEvent_;
    std::optional<std::uint8_t> ackAfterBusy_;
    std::optional<Clock::time_point> returnAt_;
    std::unique_ptr<DiskSide> disk_;  // controllers only
    std::optional<Clock::time_point> diskAt_;  // in the bootloader, the disk not shown yet
    std::deque<PendingReply> pendingReplies_;  // full-speed timing only
};

}  // namespace sim
