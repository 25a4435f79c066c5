#include "recorder/log_journal.h"

#include "recorder/journal_text.h"

#include "platform/files/exclusive_file.h"
#include "platform/files/file_lock.h"
#include "platform/core/utf8_path.h"

#include <filesystem>
#include <system_error>

bool LogJournal::start(const QString& workbookPath)
{
    close();
    torn_ = false;
    path_ = journalPathOf(workbookPath.toStdString());
    file_ = platform::createNewFile(path_);
    if (!file_.isOpen()) {
        errorText_ = QString::fromStdString(platform::lastErrorText());
        return false;
    }
    platform::tryLockFile(file_);  // new and only just made: nobody else holds it
    return true;
}

bool LogJournal::append(const std::vector<LogCell>& cells)
{
    if (!file_.isOpen()) return false;
    const std::string lines = (torn_ ? std::string(kTornLineEnd) : std::string()) + journalLines(cells);
    const std::size_t written = file_.write(lines);
    if (written > 0) torn_ = lines[written - 1] != '\n';  // nothing written: the file ends as it did
    if (written == lines.size()) return true;
    errorText_ = QString::fromStdString(platform::lastErrorText());
    return false;
}

void LogJournal::close()
{
    file_.close();
}

bool LogJournal::remove()
{
    if (!file_.isOpen()) return true;
    file_.close();
    std::error_code error;
    if (std::filesystem::remove(platform::utf8Path(path_), error)) return true;
    errorText_ = QString::fromStdString(error.message());
    return false;
}
