// Reports over a byte stream. A TCP connection keeps no message boundaries, so each side takes the
// stream in whole 65-byte reports: what came in is gathered into a report, and what goes out is
// queued whole, so that a slow client never makes the device send half a report.
#pragma once

#include "platform/hid/hid.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

// Gathers received bytes into the next report.
class ReportAssembler {
public:
    // Where the next received bytes go: never past the end of the report being gathered, so that
    // what follows stays queued in the socket until the device wants its next report.
    std::span<std::uint8_t> space() { return std::span(report_).subspan(gathered_); }
    void filled(std::size_t count) { gathered_ += count; }
    bool complete() const { return gathered_ == report_.size(); }
    bool empty() const { return gathered_ == 0; }
    // The complete report; gathering starts again.
    platform::Report take();

private:
    platform::Report report_{};
    std::size_t gathered_ = 0;
};

// The input reports a client's socket has not yet taken: only whole reports join, the first of
// them perhaps partly sent already.
class OutgoingReports {
public:
    // A HID input buffer's worth would hide a client that stopped reading; a few cover the moment
    // a socket's buffer is full.
    static constexpr std::size_t kMaxReports = 4;

    // Queues the report whole, or refuses it (false) when the queue is full: it is lost for this
    // client, as a report is lost when a HID input buffer overflows.
    bool push(const platform::Report& report);
    std::span<const std::uint8_t> unsent() const { return bytes_; }
    void sent(std::size_t count);
    bool empty() const { return bytes_.empty(); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace sim
