#include "update_history.h"

#include "update_history_merge.h"

#include "platform/core/utf8_path.h"
#include "platform/files/exclusive_file.h"
#include "platform/files/file_lock.h"
#include "platform/files/file_move.h"
#include "platform/files/shared_file.h"

#include <QDate>
#include <QDateTime>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

namespace fs = std::filesystem;
using Found = platform::PlainFileOpening::Found;

namespace {

constexpr std::uintmax_t kTailBytes = 256 * 1024;  // enough for far more rows than a report shows
constexpr std::string_view kWriteLockName = "UpdateHistory.write-lock";

// Why what is at path is neither followed nor read.
std::string notPlainText(const std::string& path) {
    return path + " is not a plain file (a link, a folder, a pipe or a second name of another file, none of which "
                  "the program makes)";
}

}  // namespace

// The file stays: removing it could leave two holders.
std::optional<std::string> lockHistoryForWriting(const std::string& folder, int waitMs, platform::File& lock) {
    const std::string path = folder + std::string(kWriteLockName);
    platform::PlainFileOpening opened = openLockFile(folder, std::string(kWriteLockName));
    if (opened.found == Found::NotPlain) return notPlainText(path) + ": the rows are kept until it is removed";
    if (!opened.file.isOpen()) return "cannot open " + path + ": " + platform::lastErrorText();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!platform::tryLockFile(opened.file)) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return "cannot write " + folder + std::string(UpdateHistory::kHistoryName) +
                   ": another instance of the program keeps it busy";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    lock = std::move(opened.file);
    return std::nullopt;
}

// UpdateHistory-<date>.csv, or -2, -3 ... where anything, a link included, has the name already.
std::string historySetAsideName(const std::string& folder) {
    const std::string stem = folder + "UpdateHistory-" + QDate::currentDate().toString(Qt::ISODate).toStdString();
    std::string name = stem + ".csv";
    std::error_code error;
    for (int number = 2; fs::exists(fs::symlink_status(platform::utf8Path(name), error)); ++number)
        name = stem + '-' + std::to_string(number) + ".csv";
    return name;
}

std::string historyFileStart() { return std::string(kUtf8ByteOrderMark) + historyHeaderLine(); }

std::string historyTimeNow() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return isoLocalTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
                        now.offsetFromUtc());
}

bool leftStrandedUpdate(const HistoryEntry& entry) {
    return entry.job == "update" && leavesControllerInBootloader(entry.step);
}

HistoryEntry finishingEntry(const HistoryEntry& stranded) {
    HistoryEntry entry = stranded;
    entry.error.clear();
    entry.step = JobStep::None;
    return entry;
}

UpdateHistory::UpdateHistory(const std::string& recordFolder) : folder_(recordFolder) {
    if (!folder_.empty() && folder_.back() != '/' && folder_.back() != '\\') folder_ += '/';
    adoptPendingRowsOfEndedInstances();
}

// Pending files whose instance has ended (its lock free), and one an older version left without an
// id: their rows go before this instance's, and their files stay until the rows are safe elsewhere.
void UpdateHistory::adoptPendingRowsOfEndedInstances() {
    for (const std::string& id : jobIdsIn(folder_, kPendingSuffix)) {
        if (instance_.held() && id == instance_.id()) continue;
        JobRecordFiles ended = JobRecordFiles::take(folder_, id);
        if (!ended.held()) {
            noteLockNotPlain(ended, id);
            continue;
        }
        std::optional<std::string> kept = readHeldRecord(ended, kPendingSuffix, kMaxRowsBytes);
        if (!kept) continue;
        if (!kept->empty()) pending_.insert(pending_.begin(), std::move(*kept));
        adopted_.push_back(std::move(ended));
    }
}

void UpdateHistory::dropAdoptedPendingFiles() {
    for (JobRecordFiles& ended : adopted_) {
        std::error_code error;
        fs::remove(platform::utf8Path(ended.path(kPendingSuffix)), error);
    }
    adopted_.clear();  // their locks go
}

std::optional<std::string> UpdateHistory::append(const HistoryEntry& entry) {
    const std::lock_guard lock(mutex_);
    pending_.push_back(historyRowLine(entry));
    return appendKeptRows();
}

std::optional<std::string> UpdateHistory::appendPending() {
    const std::lock_guard lock(mutex_);
    return appendKeptRows();
}

std::size_t UpdateHistory::pendingRows() const {
    const std::lock_guard lock(mutex_);
    return pending_.size();
}

std::optional<std::string> UpdateHistory::problemToTell(const std::optional<std::string>& problem) {
    const std::lock_guard lock(mutex_);
    const bool tell = problem && !problemTold_;
    problemTold_ = problem.has_value();
    return tell ? problem : std::nullopt;
}

bool replaceHistoryFile(const std::string& folder, const std::string& text) {
    const std::string path = folder + std::string(UpdateHistory::kHistoryName);
    std::string partial;
    platform::File file = platform::createUniqueFile(path, ".tmp", partial);
    if (!file.isOpen()) return false;
    platform::shareLikeItsFolder(file, folder);
    const bool written = file.write(text) == text.size() && file.sync();
    file.close();  // Windows moves no file held open
    if (written && platform::moveIntoPlace(partial, path)) return true;
    std::error_code error;
    fs::remove(platform::utf8Path(partial), error);
    return false;
}

// The current history open for appending. A file begun by an earlier version whose columns are the
// first of today's is written again in today's columns. A file grown to its limit, or begun by
// another version with other columns, is renamed UpdateHistory-<date>.csv first, its rows kept as
// they are; where there is none then, a new one is begun.
std::optional<std::string> UpdateHistory::openForAppending(platform::File& csv) {
    platform::PlainFileOpening current =
        platform::openPlainFile(folder_, std::string(kHistoryName), platform::PlainFileAccess::ReadAppend);
    if (current.found == Found::NotPlain) return notPlainText(historyPath()) + ": the rows are kept until it is removed";
    if (current.found == Found::Failed) return "cannot open " + historyPath() + ": " + platform::lastErrorText();
    if (current.found == Found::File) {
        const std::uint64_t size = current.file.size().value_or(0);
        if (size == 0 || (size < kRotateBytes && current.file.readAt(0, historyFileStart().size()) == historyFileStart())) {
            csv = std::move(current.file);
            return std::nullopt;
        }
        if (size < kRotateBytes)
            if (const auto text = current.file.readAt(0, static_cast<std::size_t>(size)))
                if (const auto rows = historyRowsInTodaysColumns(*text)) {
                    current.file.close();  // Windows replaces no file held open
                    std::string whole = historyFileStart();
                    for (const std::string& row : *rows) whole += row + "\r\n";
                    if (replaceHistoryFile(folder_, whole)) return openForAppending(csv);
                }
        current.file.close();
        std::error_code error;
        fs::rename(platform::utf8Path(historyPath()), platform::utf8Path(historySetAsideName(folder_)), error);
        if (error) return "cannot rename " + historyPath() + ": " + error.message();
    }
    csv = platform::createNewFile(historyPath());
    if (!csv.isOpen()) return "cannot begin " + historyPath() + ": " + platform::lastErrorText();
    platform::shareLikeItsFolder(csv, folder_);
    return std::nullopt;
}

std::optional<std::string> UpdateHistory::appendKeptRows() {
    adoptPendingRowsOfEndedInstances();
    if (pending_.empty()) return std::nullopt;
    platform::File lock;
    if (auto problem = lockHistoryForWriting(folder_, kAppendLockWaitMs, lock)) {
        keepPendingRowsOnDisk();
        return problem;
    }
    return writeKeptRows();
}

std::optional<std::string> UpdateHistory::writeKeptRows() {
    platform::File csv;
    if (auto problem = openForAppending(csv)) {
        keepPendingRowsOnDisk();
        return problem;
    }
    const std::uint64_t size = csv.size().value_or(0);
    std::string text = size == 0 ? historyFileStart() : std::string();
    // A last line cut short (a power cut during an append) stays as it is; the rows go below it.
    if (size > 0 && csv.readAt(size - 1, 1) != "\n") text = "\r\n";
    for (const std::string& rows : pending_) text += rows;
    if (csv.appendAtEnd(text) != text.size()) {
        const std::string problem = "cannot write " + historyPath() + ": " + platform::lastErrorText();
        keepPendingRowsOnDisk();
        return problem;
    }
    pending_.clear();
    if (instance_.held()) {
        pendingFile_.close();  // Windows removes no file held open
        std::error_code error;
        fs::remove(platform::utf8Path(pendingPath()), error);
    }
    instance_.release();
    dropAdoptedPendingFiles();
    if (!csv.sync()) return "cannot hand " + historyPath() + " to the disk";
    return std::nullopt;
}

// Best effort: in a folder that cannot be written to, the rows stay in memory only (and the
// pending files taken over stay where they are). The instance's id and lock are made only now, so
// that an instance with nothing pending leaves no file; its pending file is made with them, and
// written only through the handle it was made with: its name may hold another file by then.
bool UpdateHistory::keepPendingRowsOnDisk() {
    if (!instance_.held()) {
        instance_ = JobRecordFiles::create(folder_);
        if (!instance_.held()) return false;
        pendingFile_ = platform::createNewFile(pendingPath());
        platform::shareLikeItsFolder(pendingFile_, folder_);
    }
    std::string rows;
    for (const std::string& kept : pending_) rows += kept;
    if (!pendingFile_.isOpen() || !pendingFile_.replaceWith(rows)) return false;
    dropAdoptedPendingFiles();
    return true;
}

// A record is read only when its name holds a plain file; what is there instead is kept aside, and
// either is told once.
std::optional<std::string> UpdateHistory::readHeldRecord(JobRecordFiles& files, std::string_view suffix,
                                                         std::size_t maxBytes) {
    RecordText record = readRecordFile(folder_, jobFileName(files.id(), suffix), maxBytes);
    if (record.text) return std::move(record.text);
    const std::string path = files.path(suffix);
    if (record.found == Found::NotPlain)
        noteOnce(notPlainText(path) + (files.setAside(suffix) ? ": it was not read, and is kept aside as " +
                                                                    fileNameOf(files.path(kUnreadableSuffix))
                                                              : std::string(": it was not read")));
    else if (record.found != Found::Nothing)
        noteOnce("cannot read " + path + ": " + record.error);
    return std::nullopt;
}

void UpdateHistory::noteLockNotPlain(const JobRecordFiles& files, const std::string& id) {
    if (files.lockNotPlain())
        noteOnce(notPlainText(jobFilePath(folder_, id, kLockSuffix)) + ": the job's records beside it are left alone");
}

void UpdateHistory::noteOnce(std::string line) {
    const std::lock_guard lock(notesMutex_);
    if (noted_.insert(line).second) notes_.push_back(std::move(line));
}

// A record that is none of the program's is kept aside and named; one that cannot be moved aside
// stays, told once.
void UpdateHistory::setAsideUnreadable(JobRecordFiles& files, std::string_view suffix, Recovery& recovery) {
    if (files.setAside(suffix))
        recovery.setAside.push_back(fileNameOf(files.path(suffix)));
    else
        noteOnce(files.path(suffix) + " is no record of the program's, and cannot be kept aside as " +
                 fileNameOf(files.path(kUnreadableSuffix)) + ": it is left as it is");
}

UpdateHistory::Recovery UpdateHistory::recoverInterruptedJobs() {
    Recovery recovery;
    for (const std::string& id : jobIdsIn(folder_, kMarkerSuffix)) {
        JobRecordFiles files = JobRecordFiles::take(folder_, id);
        if (!files.held()) {  // its process lives, or its lock is not the program's
            noteLockNotPlain(files, id);
            continue;
        }
        const std::optional<std::string> text = readHeldRecord(files, kMarkerSuffix, kMaxRecordBytes);
        if (!text) continue;  // finished meanwhile, or not read
        std::optional<HistoryEntry> entry = parseMarker(*text);
        if (!entry) {
            setAsideUnreadable(files, kMarkerSuffix, recovery);
            continue;
        }
        entry->result = "interrupted";
        entry->error = "The program ended during the job";
        if (auto problem = append(*entry)) recovery.problem = std::move(problem);
        if (leftStrandedUpdate(*entry))
            files.strand(*text);
        else
            files.removeMarker();
        recovery.interrupted.push_back(std::move(*entry));
    }
    for (const std::string& id : jobIdsIn(folder_, kStrandedSuffix)) {
        const RecordText record = readRecordFile(folder_, jobFileName(id, kStrandedSuffix), kMaxRecordBytes);
        if (record.found == Found::Nothing) continue;
        if (record.text) {
            if (std::optional<HistoryEntry> entry = parseMarker(*record.text)) {
                recovery.stranded.push_back({id, std::move(*entry), *record.text});
                continue;
            }
        }
        // Not read, or no record: looked at again once taken, unless its job is live.
        JobRecordFiles files = JobRecordFiles::take(folder_, id);
        if (!files.held()) {
            noteLockNotPlain(files, id);
            continue;
        }
        const std::optional<std::string> text = readHeldRecord(files, kStrandedSuffix, kMaxRecordBytes);
        if (!text) continue;
        if (std::optional<HistoryEntry> entry = parseMarker(*text))
            recovery.stranded.push_back({id, std::move(*entry), *text});
        else
            setAsideUnreadable(files, kStrandedSuffix, recovery);
    }
    const std::lock_guard lock(notesMutex_);
    recovery.refused = std::exchange(notes_, {});
    return recovery;
}

std::vector<UpdateHistory::Stranded> UpdateHistory::strandedUpdates() const {
    std::vector<Stranded> stranded;
    for (const std::string& id : jobIdsIn(folder_, kStrandedSuffix)) {
        const RecordText record = readRecordFile(folder_, jobFileName(id, kStrandedSuffix), kMaxRecordBytes);
        if (!record.text) continue;
        if (std::optional<HistoryEntry> entry = parseMarker(*record.text))
            stranded.push_back({id, std::move(*entry), *record.text});
    }
    return stranded;
}

// What was seen may be gone by now: the instance that held it finished the update and let its lock
// go (its lock file with it), so that taking the lock alone proves nothing.
JobRecordFiles UpdateHistory::takeStranded(const Stranded& seen) const {
    JobRecordFiles files = JobRecordFiles::take(folder_, seen.id);
    if (!files.held()) return files;
    const RecordText now = readRecordFile(folder_, jobFileName(seen.id, kStrandedSuffix), kMaxRecordBytes);
    if (now.text != seen.text) return {};
    return files;
}

std::optional<std::string> UpdateHistory::recordCameBack(const Stranded& stranded, JobRecordFiles& files) {
    HistoryEntry entry = stranded.entry;
    entry.ended = historyTimeNow();
    entry.result = "interrupted";
    entry.step = JobStep::CameBackByItself;
    entry.error = "The controller came back in its application before its interrupted update was finished here; "
                  "whether it took the new firmware is not known";
    const std::optional<std::string> problem = append(entry);
    files.removeStranded();
    return problem;
}

std::vector<std::string> UpdateHistory::lastRows(std::size_t count) const {
    platform::PlainFileOpening csv =
        platform::openPlainFile(folder_, std::string(kHistoryName), platform::PlainFileAccess::Read);
    if (!csv.file.isOpen() || count == 0) return {};
    const std::uint64_t size = csv.file.size().value_or(0);
    const std::uint64_t start = size > kTailBytes ? size - kTailBytes : 0;
    const std::string tail = csv.file.readAt(start, static_cast<std::size_t>(size - start)).value_or(std::string());
    // The first line of a tail may be cut, and the file's own first line is the header: both go.
    const std::size_t firstBreak = tail.find('\n');
    std::vector<std::string> lines =
        csvLines(std::string_view(tail).substr(firstBreak == std::string::npos ? tail.size() : firstBreak + 1));
    if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

std::optional<std::string> UpdateHistory::wholeHistory(std::string& unreadable) const {
    platform::PlainFileOpening csv =
        platform::openPlainFile(folder_, std::string(kHistoryName), platform::PlainFileAccess::Read);
    if (csv.found == Found::Nothing) return std::nullopt;
    if (csv.found == Found::NotPlain) {
        unreadable = notPlainText(historyPath());
        return std::nullopt;
    }
    std::optional<std::string> text = csv.file.isOpen() ? csv.file.readAll(kMaxRowsBytes) : std::nullopt;
    if (!text) unreadable = platform::lastErrorText();
    return text;
}
