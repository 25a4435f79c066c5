#include "recorder/workbook_calls.h"

#include "recorder/workbook/excelctrl.h"
#include "recorder/workbook/spreadsheet_notes.h"

#include "platform/files/file_handle.h"
#include "platform/files/file_sync.h"

#include <atomic>
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
    if (!platform::syncFileToDisk(target))
        throw std::runtime_error("The workbook " + target + " was saved, but the disk did not confirm it (" +
                                 platform::lastErrorText() + "); its rows stay in its journal.");
    // The workbook's data is on the disk; only its name in the folder may not be. A folder that
    // cannot be flushed (no right to, a share that does not) would fail every save if this failed
    // it: the system log says so once instead.
    static std::atomic<bool> folderFlushTold{false};
    if (!platform::syncFolderToDisk(folder) && !folderFlushTold.exchange(true))
        noteAboutSpreadsheet("The folder " + folder + " could not be handed to the disk (" + platform::lastErrorText() +
                             "): the workbooks are saved there, but a power cut right after a save may lose one.");
}
