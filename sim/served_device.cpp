#include "served_device.h"

#include <iostream>

namespace sim {

ServedDevice::ServedDevice(const DeviceConfig& config, std::unique_ptr<Firmware> firmware, EventLoop& loop,
                           Recorder& recorder, const std::filesystem::path& hidDir)
    : name_(config.name), behaviour_(config.behaviour), firmware_(std::move(firmware)), recorder_(recorder),
      endpoint_(loop, hidDir, config.name, config.hardwareId,
                HidEndpoint::Callbacks{
                    [this] { takeWaitingReports(); },
                    [this](std::string_view why) {
                        std::cerr << "tessaray-sim: " << name_ << ": " << why << '\n';
                        recorder_.event(Clock::now(), name_, "protocol-error");
                    }}) {}

void ServedDevice::plug(Clock::time_point now) {
    returnAt_.reset();
    if (plugged()) return;
    firmware_->powerUp();
    endpoint_.appear();
    recorder_.event(now, name_, "plugged");
}

void ServedDevice::unplug(Clock::time_point now) {
    returnAt_.reset();
    if (plugged()) leave(now);
}

void ServedDevice::leave(Clock::time_point now) {
    endpoint_.disappear();
    pendingReplies_.clear();
    busyUntil_.reset();
    recorder_.event(now, name_, "unplugged");
}

void ServedDevice::setBehaviour(std::string_view key, std::string_view value, Clock::time_point now) {
    applyBehaviourSetting(behaviour_, key, value);
    if (key == "unplug-after") reportsCounted_ = 0;
    if (behaviour_.timing == Timing::None) {
        for (const PendingReply& pending : pendingReplies_) send(pending.report, now);
        pendingReplies_.clear();
        takeWaitingReports();
    }
}

std::optional<Clock::time_point> ServedDevice::nextDeadline() const {
    if (busyUntil_ && returnAt_) return std::min(*busyUntil_, *returnAt_);
    return busyUntil_ ? busyUntil_ : returnAt_;
}

void ServedDevice::onTime(Clock::time_point now) {
    if (busyUntil_ && now >= *busyUntil_) {
        busyUntil_.reset();
        if (!busyEndEvent_.empty()) recorder_.event(now, name_, busyEndEvent_);
        takeWaitingReports();
    }
    if (returnAt_ && now >= *returnAt_) {
        try {
            plug(now);
        } catch (const std::exception& e) {
            std::cerr << "tessaray-sim: " << name_ << " cannot come back: " << e.what() << '\n';
        }
    }
}

bool ServedDevice::wantsFrame() const {
    return plugged() && behaviour_.timing == Timing::FullSpeed &&
           (!pendingReplies_.empty() || (!busy() && endpoint_.mayHaveReport()));
}

void ServedDevice::onFrame(std::int64_t frame, Clock::time_point now) {
    if (!plugged() || behaviour_.timing != Timing::FullSpeed) return;
    // One report each way per frame; an answer goes out no earlier than the frame after its request.
    if (!pendingReplies_.empty() && pendingReplies_.front().dueFrame <= frame) {
        send(pendingReplies_.front().report, now);
        pendingReplies_.pop_front();
    }
    if (busy()) return;
    if (const auto report = endpoint_.takeReport()) handle(*report, now, frame);
}

// Without a timing model every waiting report is taken at once, unless the device is busy.
void ServedDevice::takeWaitingReports() {
    while (plugged() && behaviour_.timing == Timing::None && !busy()) {
        const auto report = endpoint_.takeReport();
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
    if (behaviour_.silent) return;

    FirmwareActions actions = firmware_->handleReport(report);
    for (const std::string& event : actions.events) recorder_.event(now, name_, event);
    for (const Report& reply : actions.replies) {
        if (behaviour_.timing == Timing::None) send(reply, now);
        else pendingReplies_.push_back(PendingReply{frame + 1, reply});
    }
    if (actions.busyMs) {
        busyUntil_ = now + std::chrono::milliseconds(*actions.busyMs);
        busyEndEvent_ = actions.busyEndEvent;
    }
    if (actions.awayMs) {
        leave(now);
        returnAt_ = now + std::chrono::milliseconds(*actions.awayMs);
    }
}

void ServedDevice::send(const Report& report, Clock::time_point now) {
    recorder_.report(now, name_, Direction::In, report);
    endpoint_.sendToReaders(report);
}

}  // namespace sim
