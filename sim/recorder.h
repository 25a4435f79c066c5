// The simulator's record: one JSON object per line for every report that crossed the bus and
// every event of a device, flushed line by line so a test can read it while the simulator runs.
#pragma once

#include "clock.h"
#include "platform/hid/hid.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

enum class Direction { Out, In };  // out: host to device, in: device to host

// Something a device did, with the values that tell more ("image-start" with the digits of the
// count, "firmware-updated" with its size), recorded as fields beside the event's name.
struct DeviceEvent {
    using Value = std::variant<std::int64_t, std::string>;

    DeviceEvent(std::string eventName, std::vector<std::pair<std::string, Value>> eventFields = {})
        : name(std::move(eventName)), fields(std::move(eventFields)) {}
    DeviceEvent(const char* eventName) : name(eventName) {}
    bool operator==(const DeviceEvent&) const = default;

    std::string name;
    std::vector<std::pair<std::string, Value>> fields;
};

class Recorder {
public:
    // origin: the time the simulator started; records carry milliseconds since then. An empty
    // path records nothing. Throws std::system_error when the file cannot be created.
    Recorder(const std::string& path, Clock::time_point origin);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void report(Clock::time_point when, std::string_view device, Direction direction,
                const platform::Report& report);
    void event(Clock::time_point when, std::string_view device, const DeviceEvent& event);

private:
    void writeLine(Clock::time_point when, std::string_view device, std::string_view rest);

    std::FILE* file_ = nullptr;
    Clock::time_point origin_;
};

}  // namespace sim
