// The recorder's calls on the workbook thread that more than one of its paths make: cells into the
// open workbook, a journal made durable before its row's cells, and a save that counts as done only
// once the workbook and its name are on the disk.
#pragma once

#include "recorder/recorder_logic.h"

#include <string>
#include <vector>

// The cells into worksheet 1 of the open workbook.
void setLogCells(const std::vector<LogCell>& cells);

// Before the row's cells: from here on a power cut cannot take the row. A journal that cannot be
// synced (gone, or a disk that refuses) costs nothing more than that; an empty path is no journal.
void syncJournal(const std::string& journal);

// Saves the open workbook as target; throws when the disk does not confirm it, since until then its
// journal is what keeps the rows through a power cut.
void saveWorkbookDurably(const std::string& target);
