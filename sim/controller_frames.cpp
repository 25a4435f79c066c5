#include "controller_frames.h"

#include <algorithm>
#include <cassert>

namespace sim {
namespace {

constexpr std::size_t kHeaderEnd = 6;  // the first payload byte

std::uint8_t sumOf(const Report& report, std::size_t from, std::size_t to) {
    unsigned sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += report[i];
    return static_cast<std::uint8_t>(sum);
}

}  // namespace

std::optional<ControllerRequest> parseControllerRequest(const Report& report) {
    if (report[1] != kFrameStart || report[3] != 0x01 || report[4] != 0x00) return std::nullopt;
    if (report[2] < 4 || report[2] - 4u > kMaxFramePayload) return std::nullopt;
    const std::size_t n = report[2] - 4u;
    // Length, the fixed bytes, the command, the payload and the checksum add up to 0.
    if (sumOf(report, 2, kHeaderEnd + n + 1) != 0 || report[kHeaderEnd + n + 1] != kFrameEnd) return std::nullopt;
    ControllerRequest request;
    request.command = report[5];
    request.payload.assign(report.begin() + kHeaderEnd, report.begin() + static_cast<std::ptrdiff_t>(kHeaderEnd + n));
    return request;
}

Report controllerReply(std::uint8_t command, std::span<const std::uint8_t> data, std::size_t endOffset) {
    assert(kHeaderEnd + data.size() <= endOffset && endOffset < platform::kReportSize);
    Report reply;
    reply.fill(0xFF);
    reply[0] = 0x00;
    reply[1] = kFrameStart;
    reply[2] = static_cast<std::uint8_t>(data.size() + 4);
    reply[3] = 0x01;
    reply[4] = 0x00;
    reply[5] = command;
    std::copy(data.begin(), data.end(), reply.begin() + kHeaderEnd);
    const std::size_t checksumAt = kHeaderEnd + data.size();
    if (checksumAt < endOffset) reply[checksumAt] = static_cast<std::uint8_t>(0x100 - sumOf(reply, 2, checksumAt));
    reply[endOffset] = kFrameEnd;
    return reply;
}

Report acknowledgement(std::uint8_t command) {
    static constexpr std::uint8_t kAckMarks[] = {0x06, 0x0D};
    return controllerReply(command, kAckMarks, kHeaderEnd + 3);
}

}  // namespace sim
