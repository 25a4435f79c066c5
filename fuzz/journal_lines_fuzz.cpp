// A log's journal as found after a crash: its lines become cells again.
#include "recorder/journal_text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<LogCell> cells = journalCells(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const LogCell& cell : cells)
        if (cell.row < 1 || cell.column < 1) __builtin_trap();
    // What is read back is what writing the same cells gives.
    if (journalCells(journalLines(cells)) != cells) __builtin_trap();
    static_cast<void>(dataRowsIn(cells));
    return 0;
}
