// Rows of update history files as text: split, checked and merged, no files. Used where the rows of
// two histories become one, and where the last rows are shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The lines of CSV text, without their line ends; a line break inside a quoted field (an error text
// of two lines) stays in its line. No empty line at the end.
std::vector<std::string> csvLines(std::string_view text);

// The rows (as csvLines gives them) of a history file's whole text in today's columns: a file begun by
// this version, or by an earlier one whose columns are the first of today's (columns are only ever
// added at the end), each of its rows then given the newer columns empty. Nothing for any other text.
std::optional<std::vector<std::string>> historyRowsInTodaysColumns(std::string_view text);

// A line read as a row and written again as this version writes its rows (history_row.h), with its
// line end: a field that a spreadsheet program would run as a formula is then shown as text,
// whoever wrote the line. A row this version wrote comes out as it was. Nothing for a line that is
// no row (a quote left open).
std::optional<std::string> rewrittenRow(std::string_view line);

// The rows of two histories as one, each with its line end, in the order of their ends (rows that
// ended at once keep their order, current's first; a row whose end cannot be read goes with the row
// before it).
// A row of older that current holds already is not taken twice. older's rows are rewritten
// (rewrittenRow), and those that are no rows are left out.
std::vector<std::string> mergedHistoryRows(const std::vector<std::string>& current, const std::vector<std::string>& older);
