#include "served_device.h"

#include "controller_frames.h"
#include "drive_folder.h"
#include "usb_gadget.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace sim {
namespace {

std::string firmwareToRun(const ControllerSettings& settings) {
    if (settings.firmwarePath.empty()) return kDefaultFirmware;
    std::ifstream in(settings.firmwarePath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) throw std::runtime_error("cannot read the firmware file " + settings.firmwarePath);
    return bytes;
}

// What a wrong acknowledgement echoes: a neighbouring command, one the host may well be waiting for
// at another time (0x96 and 0x97 swap).
constexpr std::uint8_t kWrongEcho = 0x01;

// The bus's update disk is its controller's USB device in bootloader mode, as a gadget's is; a
// controller whose hardware ID names no VID and PID shows a disk of no known identity.
std::string updateDiskIdentityText(const DeviceConfig& config) {
    try {
        const UsbIdentity disk = updateDiskIdentityOf(usbIdentityOf(config));
        return usbIdentityText(disk.vendorId, disk.productId, disk.serial);
    } catch (const ConfigError&) {
        return {};
    }
}

}  // namespace

ServedDevice::ServedDevice(const DeviceConfig& config, std::unique_ptr<Firmware> firmware, EventLoop& loop,
                           Recorder& recorder, const std::filesystem::path& busDir, Clock::time_point origin,
                           std::optional<int> usbUdc)
    : name_(config.name), behaviour_(config.behaviour), kind_(config.kind), diskMs_(config.controller.diskMs),
      firmware_(std::move(firmware)), recorder_(recorder), origin_(origin) {
    HidSide::Callbacks callbacks{[this] { takeWaitingReports(); },
                                 [this](std::string_view why) {
                                     std::cerr << "tessaray-sim: " << name_ << ": " << why << '\n';
                                     recorder_.event(Clock::now(), name_, "protocol-error");
                                 }};
    if (usbUdc) {
        // One USB device: its HID function and its bootloader's disk take turns on one gadget.
        auto gadget = std::make_shared<UsbGadget>(config.name, *usbUdc, usbIdentityOf(config));
        endpoint_ = std::make_unique<UsbHidFunction>(loop, gadget, std::move(callbacks));
        if (kind_ == DeviceKind::Controller)
            disk_ = std::make_unique<UsbUpdateDisk>(gadget, firmwareToRun(config.controller));
    } else {
        endpoint_ = std::make_unique<HidEndpoint>(loop, busDir / "hid", config.name, config.hardwareId, std::move(callbacks));
        if (kind_ == DeviceKind::Controller)
            disk_ = std::make_unique<UpdateDisk>(busDir / "drives", config.controller.diskLetter,
                                                 firmwareToRun(config.controller), updateDiskIdentityText(config));
    }
}

void ServedDevice::plug(Clock::time_point now) {
    returnAt_.reset();
    callOffDisk(now);
    if (plugged()) return;
    firmware_->powerUp();
    endpoint_->appear(port());
    recorder_.event(now, name_, "plugged");
}

void ServedDevice::unplug(Clock::time_point now) {
    returnAt_.reset();
    callOffDisk(now);
    if (plugged()) leave(now);
}

void ServedDevice::leave(Clock::time_point now) {
    endpoint_->disappear();
    pendingReplies_.clear();
    busyUntil_.reset();
    ackAfterBusy_.reset();
    recorder_.event(now, name_, "unplugged");
}

// Pulled out or plugged in again while in its bootloader: the disk goes without taking anything.
void ServedDevice::callOffDisk(Clock::time_point now) {
    diskAt_.reset();
    if (!disk_ || !disk_->shown()) return;
    const std::string label = disk_->label();
    disk_->remove(false);
    recorder_.event(now, name_, DeviceEvent("disk-removed", {{"drive", label}}));
}

bool ServedDevice::stopDrive(char letter, Clock::time_point now) {
    if (!disk_ || disk_->letter() != letter) return false;
    if (behaviour_.disk == DiskFault::Stays) return false;  // refused: the disk stays where it is
    diskStopped(now);
    return true;
}

// The disk stopped (by the stop tool, or by the host itself): its Upfirmware.bin, when there is one,
// becomes the firmware, and the controller comes back in its application.
void ServedDevice::diskStopped(Clock::time_point now) {
    const std::string label = disk_->label();
    const bool taken = disk_->remove(true);
    recorder_.event(now, name_, DeviceEvent("disk-stopped", {{"drive", label}}));
    if (taken)
        recorder_.event(now, name_,
                        DeviceEvent("firmware-updated", {{"bytes", static_cast<std::int64_t>(disk_->firmware().size())}}));
    else
        recorder_.event(now, name_, "firmware-unchanged");
    plug(now);
}

void ServedDevice::showDisk(Clock::time_point now) {
    try {
        disk_->show(behaviour_.disk == DiskFault::Refuse, port());
        recorder_.event(now, name_, DeviceEvent("disk-shown", {{"drive", disk_->label()}}));
    } catch (const std::exception& e) {
        std::cerr << "tessaray-sim: " << name_ << " cannot show its update disk: " << e.what() << '\n';
        recorder_.event(now, name_, "disk-failed");
    }
}

void ServedDevice::setBehaviour(std::string_view key, std::string_view value, Clock::time_point now) {
    applyBehaviourSetting(behaviour_, kind_, key, value);
    if (key == "unplug-after") reportsCounted_ = 0;
    if (behaviour_.timing == Timing::None) {
        for (const PendingReply& pending : pendingReplies_) send(pending.report, now);
        pendingReplies_.clear();
        takeWaitingReports();
    }
}

std::optional<Clock::time_point> ServedDevice::nextDeadline() const {
    std::optional<Clock::time_point> next;
    for (const auto& deadline : {busyUntil_, returnAt_, diskAt_})
        if (deadline && (!next || *deadline < *next)) next = deadline;
    // A gadget's disk learns of its stop by looking at the host's side now and then.
    if (disk_ && disk_->shown() && !disk_->letter()) {
        const auto look = Clock::now() + std::chrono::milliseconds(kUsbLookMs);
        if (!next || look < *next) next = look;
    }
    return next;
}

void ServedDevice::onTime(Clock::time_point now) {
    if (busyUntil_ && now >= *busyUntil_) {
        busyUntil_.reset();
        if (!busyEndEvent_.empty()) recorder_.event(now, name_, busyEndEvent_);
        if (ackAfterBusy_) acknowledge(*std::exchange(ackAfterBusy_, std::nullopt), now, 0);
        takeWaitingReports();
    }
    if (returnAt_ && now >= *returnAt_) {
        try {
            plug(now);
        } catch (const std::exception& e) {
            std::cerr << "tessaray-sim: " << name_ << " cannot come back: " << e.what() << '\n';
        }
    }
    if (diskAt_ && now >= *diskAt_) {
        diskAt_.reset();
        showDisk(now);
    }
    if (disk_ && disk_->shown() && disk_->stoppedByHost()) {
        try {
            diskStopped(now);
        } catch (const std::exception& e) {
            std::cerr << "tessaray-sim: " << name_ << " cannot come back after its disk was stopped: " << e.what() << '\n';
        }
    }
}

bool ServedDevice::wantsFrame() const {
    return plugged() && behaviour_.timing == Timing::FullSpeed &&
           (!pendingReplies_.empty() || (!busy() && endpoint_->mayHaveReport()));
}

void ServedDevice::onFrame(std::int64_t frame, Clock::time_point now) {
    if (!plugged() || behaviour_.timing != Timing::FullSpeed) return;
    // One report each way per frame; an answer goes out no earlier than the frame after its request.
    if (!pendingReplies_.empty() && pendingReplies_.front().dueFrame <= frame) {
        send(pendingReplies_.front().report, now);
        pendingReplies_.pop_front();
    }
    if (busy()) return;
    if (const auto report = endpoint_->takeReport()) handle(*report, now, frame);
}

// Without a timing model every waiting report is taken at once, unless the device is busy.
void ServedDevice::takeWaitingReports() {
    while (plugged() && behaviour_.timing == Timing::None && !busy()) {
        const auto report = endpoint_->takeReport();
        if (!report) return;
        handle(*report, Clock::now(), 0);
    }
}

void ServedDevice::handle(const Report& report, Clock::time_point now, std::int64_t frame) {
    recorder_.report(now, name_, Direction::Out, report);
    if (behaviour_.unplugAfter != 0 && ++reportsCounted_ >= behaviour_.unplugAfter) {
        // Pulled out as the report arrived: it is not carried out. The fault fires once.
        behaviour_.unplugAfter = 0;
        reportsCounted_ = 0;
        leave(now);
        return;
    }
    if (behaviour_.fault == Fault::Silent) return;

    FirmwareActions actions = firmware_->handleReport(report, now - origin_);
    for (const DeviceEvent& event : actions.events) recorder_.event(now, name_, event);
    for (const Report& answer : actions.replies) reply(answer, now, frame + 1);
    if (actions.busyMs) {
        busyUntil_ = now + std::chrono::milliseconds(*actions.busyMs);
        busyEndEvent_ = actions.busyEndEvent;
        ackAfterBusy_ = actions.acknowledge;
    } else if (actions.acknowledge) {
        acknowledge(*actions.acknowledge, now, frame + 1);
    }
    if (actions.awayMs) {
        leave(now);
        returnAt_ = now + std::chrono::milliseconds(*actions.awayMs);
    }
    if (actions.bootloaderMode) {
        leave(now);
        if (disk_ && behaviour_.disk != DiskFault::NoDisk) diskAt_ = now + std::chrono::milliseconds(diskMs_);
    }
}

void ServedDevice::acknowledge(std::uint8_t command, Clock::time_point now, std::int64_t dueFrame) {
    if (behaviour_.fault != Fault::None) return;
    if (behaviour_.wrongAcks > 0) {
        --behaviour_.wrongAcks;
        reply(acknowledgement(command ^ kWrongEcho), now, dueFrame);
    }
    reply(acknowledgement(command), now, dueFrame);
}

void ServedDevice::reply(const Report& report, Clock::time_point now, std::int64_t dueFrame) {
    if (behaviour_.timing == Timing::None) send(report, now);
    else pendingReplies_.push_back(PendingReply{dueFrame, report});
}

void ServedDevice::send(const Report& report, Clock::time_point now) {
    recorder_.report(now, name_, Direction::In, report);
    endpoint_->sendToReaders(report);
}

}  // namespace sim
