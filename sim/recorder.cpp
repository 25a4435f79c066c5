#include "recorder.h"

#include <cerrno>
#include <system_error>

namespace sim {

Recorder::Recorder(const std::string& path, Clock::time_point origin) : origin_(origin) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) throw std::system_error(errno, std::generic_category(), "cannot create " + path);
}

Recorder::~Recorder() {
    if (file_ != nullptr) std::fclose(file_);
}

void Recorder::report(Clock::time_point when, std::string_view device, Direction direction,
                      const platform::Report& report) {
    if (file_ == nullptr) return;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string rest = direction == Direction::Out ? R"("dir":"out","report":")" : R"("dir":"in","report":")";
    for (std::uint8_t byte : report) {
        rest += kDigits[byte >> 4];
        rest += kDigits[byte & 0x0F];
    }
    rest += '"';
    writeLine(when, device, rest);
}

void Recorder::event(Clock::time_point when, std::string_view device, const DeviceEvent& event) {
    if (file_ == nullptr) return;
    std::string rest = R"("event":")" + event.name + '"';
    for (const auto& [key, value] : event.fields) {
        rest += ",\"" + key + "\":";
        if (const auto* number = std::get_if<std::int64_t>(&value)) rest += std::to_string(*number);
        else rest += '"' + std::get<std::string>(value) + '"';
    }
    writeLine(when, device, rest);
}

// Device names, event names, field names and text values are plain words ("F:"), so nothing in a
// line needs escaping. The time is
// cut, not rounded, to the microsecond, so that its whole milliseconds are the frame it fell in.
void Recorder::writeLine(Clock::time_point when, std::string_view device, std::string_view rest) {
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(when - origin_).count();
    std::fprintf(file_, "{\"t_ms\":%lld.%03lld,\"device\":\"%.*s\",%.*s}\n", us / 1000, us % 1000,
                 static_cast<int>(device.size()), device.data(), static_cast<int>(rest.size()), rest.data());
    std::fflush(file_);
}

}  // namespace sim
