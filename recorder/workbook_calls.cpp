#include "recorder/workbook_calls.h"

#include "recorder/workbook/excelctrl.h"

#include "platform/files/file_handle.h"
#include "platform/files/file_sync.h"

#include <stdexcept>

void setLogCells(const std::vector<LogCell>& cells)
{
    for (const LogCell& cell : cells) ExcelSetCell(1, cell.column, cell.row, cell.text);
}

void syncJournal(const std::string& journal)
{
    if (!journal.empty()) platform::syncFileToDisk(journal);
}

void saveWorkbookDurably(const std::string& target)
{
    ExcelSaveAs(target);
    const std::size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    if (!platform::syncFileToDisk(target) || !platform::syncFolderToDisk(folder))
        throw std::runtime_error("The workbook " + target + " was saved, but the disk did not confirm it (" +
                                 platform::lastErrorText() + "); its rows stay in its journal.");
}
