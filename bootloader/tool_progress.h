// zerlin-tool's progress display for the long steps (erase, program, verify). The library reports
// nothing while a call runs, so the bar shows that the step is busy and for how long; when the step
// ends it shows the bytes it moved and their rate. On a terminal the line is redrawn in place;
// otherwise one plain line per finished step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zerlin {

// "512 B", "24.0 KiB", "1.50 MiB".
std::string formatBytes(std::uint64_t bytes);

// The terminal's line for a step that runs (a block moving along the bar) or has finished (a full
// bar, the bytes, the time and the rate).
std::string barLine(std::string_view step, std::uint64_t bytes, double seconds, bool finished);

// The line for a finished step where the output is not a terminal.
std::string plainLine(std::string_view step, std::uint64_t bytes, double seconds);

// Runs call on a worker thread and shows its progress on standard output. Prints nothing for a
// failed step: the caller says why on standard error.
bool runWithProgress(std::string_view step, std::uint64_t bytes, bool terminal, const std::function<bool()>& call);

}  // namespace zerlin
