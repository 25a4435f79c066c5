#include "recorder/journal_recovery.h"

#include "recorder/journal_text.h"

#include "platform/files/file_lock.h"
#include "platform/files/file_owner.h"

#include <QDir>
#include <QFileInfo>

#include <optional>
#include <string>

namespace {

// A journal larger than this is no log of the recorder's (a full workbook's journal is some 7 MiB)
// and is not read in: it could take the memory the program needs.
constexpr std::size_t kMaxJournalBytes = 32u << 20;

}  // namespace

std::vector<FoundJournal> findRecoverableJournals(
    const QString& folder, const std::function<void(const QString& journal, const QString& reason)>& unreadable)
{
    std::vector<FoundJournal> found;
    const QFileInfoList journals = QDir(folder).entryInfoList(
        {QStringLiteral("*") + QString::fromUtf8(kJournalSuffix)}, QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    for (const QFileInfo& journal : journals) {
        const std::string journalPath = journal.filePath().toStdString();
        const std::optional<LogFileNameParts> name =
            parseLogFileName(QFileInfo(QString::fromStdString(workbookPathOfJournal(journalPath))).fileName().toStdString());
        if (!name) continue;
        auto held = std::make_shared<platform::File>(platform::openForReading(journalPath));
        if (!held->isOpen() || !platform::isOwnRegularFile(*held) || !platform::tryLockFile(*held)) continue;
        const std::optional<std::string> text = held->readAll(kMaxJournalBytes);
        if (!text) {
            unreadable(journal.fileName(), QString::fromStdString(platform::lastErrorText()));
            continue;
        }
        FoundJournal entry{journal.filePath(), std::move(held), *name, journalCells(*text), 0};
        entry.dropped = dropCellsOutsideSheet(entry.cells);
        found.push_back(std::move(entry));
    }
    return found;
}

QString recoveryTarget(const QString& folder, const LogFileNameParts& name, const QString& journalPath,
                       const QSet<QString>& taken)
{
    for (int sequence = name.sequence;; ++sequence) {
        const QString target = folder + QString::fromStdString(logFileName(name.start, sequence));
        const QString targetJournal = QString::fromStdString(journalPathOf(target.toStdString()));
        const QFileInfo existing(target);
        const bool inUse = taken.contains(target) || existing.exists() || existing.isSymLink() ||
                           (targetJournal != journalPath && QFileInfo::exists(targetJournal));
        if (!inUse) return target;
    }
}
