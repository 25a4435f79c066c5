// The text of a log's journal: every cell written to its workbook, one line each, so that a log
// cut short by a crash can be written out again. A line is "row<TAB>column<TAB>text"; tabs, line
// ends and backslashes inside the text are escaped. Pure: the file itself is log_journal's.
#pragma once

#include "recorder/recorder_logic.h"

#include <string>
#include <string_view>
#include <vector>

// The journal beside a workbook, and the workbook a journal belongs to ("" when the name is not a
// journal's).
inline constexpr std::string_view kJournalSuffix = ".journal";
std::string journalPathOf(std::string_view workbookPath);
std::string workbookPathOfJournal(std::string_view journalPath);

// The lines for cells, ready to be appended in one write.
std::string journalLines(const std::vector<LogCell>& cells);

// Written before the next lines after an append was cut short (a full disk): it ends the torn line
// so that it reads as no cell at all, whatever part of it reached the file, and the next line starts
// on a line of its own. A text never holds a bare tab, so a line with three is no cell.
inline constexpr std::string_view kTornLineEnd = "\t\t\n";

// The cells of a journal's text in the order written. A last line without its line end was being
// written when the program stopped and is left out, as is any line that is not a cell (a torn one
// ended by kTornLineEnd included). A text that is not valid UTF-8 (a damaged journal) has each bad
// byte replaced by U+FFFD: no workbook program opens a file that carries it.
std::vector<LogCell> journalCells(std::string_view text);

// Takes out the cells no worksheet holds (past row 1,048,576 or column 16,384, or a text of more
// than 32,767 characters), so that the others can still be written out; returns how many went.
std::size_t dropCellsOutsideSheet(std::vector<LogCell>& cells);

// How many data rows (row 4 on) the cells fill.
std::size_t dataRowsIn(const std::vector<LogCell>& cells);
