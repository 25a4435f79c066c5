#include "xlsx_reader.h"

#include <cstdio>
#include <sstream>

namespace lumaro::test {
namespace {

// Single-quoted for the shell, with any single quote inside closed, escaped and reopened.
std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The reader's output for path, with extra arguments; nullopt when it failed.
std::optional<std::string> readerOutput(const std::string& path, const std::string& extra)
{
    const std::string command = shellQuoted(LUMARO_XLSX_PYTHON) + ' ' + shellQuoted(LUMARO_XLSX_READER_SCRIPT) + ' ' +
                                shellQuoted(path) + extra + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    if (pclose(pipe) != 0) return std::nullopt;
    return output;
}

}  // namespace

bool xlsxReaderAvailable()
{
    return !std::string(LUMARO_XLSX_PYTHON).empty();
}

std::optional<SheetCells> readFirstSheet(const std::string& path)
{
    const std::optional<std::string> output = readerOutput(path, "");
    if (!output) return std::nullopt;
    SheetCells cells;
    std::istringstream lines(*output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        int row = 0;
        int column = 0;
        std::string type;
        std::string value;
        if (!(fields >> row >> column >> type) || fields.get() != '\t') return std::nullopt;
        std::getline(fields, value);
        cells[{row, column}] = type == "str" ? value : type + ':' + value;
    }
    return cells;
}

std::map<int, double> readColumnWidths(const std::string& path)
{
    std::map<int, double> widths;
    std::istringstream lines(readerOutput(path, " widths").value_or(""));
    int column = 0;
    double width = 0;
    while (lines >> column >> width) widths[column] = width;
    return widths;
}

}  // namespace lumaro::test
