// A job's record beside the update history (its .running or .stranded file), which anyone may have
// written where the history is shared: read, it is a job's facts or nothing.
#include "jobs/history_row.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<HistoryEntry> entry = parseMarker(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!entry) return 0;
    if (entry->job.empty() || entry->started.empty()) __builtin_trap();
    // What is read is what the program would write again, and reads back the same.
    const std::string written = markerText(*entry);
    const std::optional<HistoryEntry> again = parseMarker(written);
    if (!again || markerText(*again) != written) __builtin_trap();
    static_cast<void>(historyRowLine(*entry));
    return 0;
}
