// One device served on the bus: its HID interface, its firmware, and the timing and faults in
// force. It decides when a report is taken and when an answer goes out; the firmware decides what
// the answer is.
#pragma once

#include "device_config.h"
#include "event_loop.h"
#include "firmware.h"
#include "hid_endpoint.h"
#include "recorder.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace sim {

class ServedDevice {
public:
    ServedDevice(const DeviceConfig& config, std::unique_ptr<Firmware> firmware, EventLoop& loop,
                 Recorder& recorder, const std::filesystem::path& hidDir);

    const std::string& name() const { return name_; }
    bool plugged() const { return endpoint_.present(); }
    bool returning() const { return returnAt_.has_value(); }  // away for a reset, coming back

    void plug(Clock::time_point now);    // throws std::system_error
    void unplug(Clock::time_point now);  // also calls off the return after a reset
    void setBehaviour(std::string_view key, std::string_view value, Clock::time_point now);  // throws ConfigError

    // Time-driven steps: the end of a busy spell, the return after a reset.
    std::optional<Clock::time_point> nextDeadline() const;
    void onTime(Clock::time_point now);

    // Full-speed timing: whether the next frame has work, and that frame's work.
    bool wantsFrame() const;
    void onFrame(std::int64_t frame, Clock::time_point now);

private:
    struct PendingReply {
        std::int64_t dueFrame;
        Report report;
    };

    void takeWaitingReports();
    void handle(const Report& report, Clock::time_point now, std::int64_t frame);
    void send(const Report& report, Clock::time_point now);
    void leave(Clock::time_point now);
    bool busy() const { return busyUntil_.has_value(); }

    std::string name_;
    Behaviour behaviour_;
    std::unique_ptr<Firmware> firmware_;
    Recorder& recorder_;
    HidEndpoint endpoint_;
    std::uint32_t reportsCounted_ = 0;  // towards unplug-after
    std::optional<Clock::time_point> busyUntil_;
    std::string busyEndEvent_;
    std::optional<Clock::time_point> returnAt_;
    std::deque<PendingReply> pendingReplies_;  // full-speed timing only
};

}  // namespace sim
