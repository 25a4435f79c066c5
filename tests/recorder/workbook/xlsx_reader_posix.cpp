#include "xlsx_reader.h"

#include <cstdio>

namespace lumaro::test {
namespace {

// Single-quoted for the shell, with any single quote inside closed, escaped and reopened.
std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

bool xlsxReaderAvailable()
{
    return !std::string(LUMARO_XLSX_PYTHON).empty();
}

std::optional<std::string> xlsxReaderOutput(const std::string& path, bool widths)
{
    const std::string command = shellQuoted(LUMARO_XLSX_PYTHON) + ' ' + shellQuoted(LUMARO_XLSX_READER_SCRIPT) + ' ' +
                                shellQuoted(path) + (widths ? " widths" : "") + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    if (pclose(pipe) != 0) return std::nullopt;
    return output;
}

}  // namespace lumaro::test
