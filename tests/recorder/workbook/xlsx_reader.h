// Reads a saved workbook back with a reader that shares no code with the writer (openpyxl, run as
// a separate Python process), so tests see what a spreadsheet program would see. A Windows test
// under Wine, which cannot wait for a Linux program, has the test broker run the reader.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace lumaro::test {

// (row, column) counted from 1 -> the cell's text; only texts are taken: a cell the reader sees as
// a number or date is reported as "<type>:<value>", so a test notices it.
using SheetCells = std::map<std::pair<int, int>, std::string>;

// False when no Python with openpyxl was found at build time: the test is to be skipped.
bool xlsxReaderAvailable();

// What the reader prints for the workbook at path: a line for each filled cell of worksheet 1, or
// with widths one for each column given a width; nullopt when the reader failed on the file.
std::optional<std::string> xlsxReaderOutput(const std::string& path, bool widths);

// The filled cells of worksheet 1, or nullopt when the reader failed on the file (not a workbook).
std::optional<SheetCells> readFirstSheet(const std::string& path);

// Column (counted from 1) -> width in characters, for the columns of worksheet 1 given a width.
std::map<int, double> readColumnWidths(const std::string& path);

}  // namespace lumaro::test
