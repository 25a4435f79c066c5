#include "log_journal.h"

#include "journal_text.h"

bool LogJournal::start(const QString& workbookPath)
{
    finish();
    file_.setFileName(QString::fromStdString(journalPathOf(workbookPath.toStdString())));
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool LogJournal::append(const std::vector<LogCell>& cells)
{
    if (!file_.isOpen()) return false;
    const std::string lines = journalLines(cells);
    return file_.write(lines.data(), static_cast<qint64>(lines.size())) == static_cast<qint64>(lines.size());
}

void LogJournal::finish()
{
    if (!file_.isOpen()) return;
    file_.close();
    file_.remove();
}
