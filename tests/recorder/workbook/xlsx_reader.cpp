#include "xlsx_reader.h"

#include <sstream>

namespace lumaro::test {

std::optional<SheetCells> readFirstSheet(const std::string& path)
{
    const std::optional<std::string> output = xlsxReaderOutput(path, false);
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
    std::istringstream lines(xlsxReaderOutput(path, true).value_or(""));
    int column = 0;
    double width = 0;
    while (lines >> column >> width) widths[column] = width;
    return widths;
}

}  // namespace lumaro::test
