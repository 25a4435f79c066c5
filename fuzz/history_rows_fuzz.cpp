// The update history's rows as another version, or anyone where the history is shared, may have
// written them: read in today's columns, rewritten and merged, they never come out as more than
// was read, and a rewritten row is one the history reads again as it is.
#include "jobs/update_history_merge.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The first half stands for the shared history, the second for an older one carried into it.
    const std::vector<std::string> current = csvLines(text.substr(0, size / 2));
    const std::vector<std::string> older = csvLines(text.substr(size / 2));
    if (mergedHistoryRows(current, older).size() > current.size() + older.size()) __builtin_trap();
    for (const std::string& line : older)
        if (const auto row = rewrittenRow(line); row && rewrittenRow(*row) != row) __builtin_trap();
    if (const auto rows = historyRowsInTodaysColumns(text); rows && rows->size() >= csvLines(text).size() + 1)
        __builtin_trap();
    return 0;
}
