#include "update_history.h"

#include "platform/files/exclusive_file.h"
#include "platform/files/file_lock.h"
#include "platform/files/file_sync.h"
#include "platform/files/shared_file.h"
#include "platform/core/utf8_path.h"

#include <QDate>
#include <QDateTime>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kTailBytes = 256 * 1024;  // enough for far more rows than a report shows

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string lastErrorText() {
    return errno != 0 ? std::generic_category().message(errno) : std::string("the system gave no reason");
}

// The first bytes of a history file that this version wrote.
std::string expectedStart() { return std::string(kUtf8ByteOrderMark) + historyHeaderLine(); }

// The lock under which instances write the history, held while it is; nothing open when another
// instance kept it for longer than waitMs. The file stays: removing it could leave two holders.
platform::File lockForWriting(const std::string& folder, int waitMs) {
    platform::File lock = openLockFile(folder, folder + "UpdateHistory.write-lock");
    if (!lock.isOpen()) return {};
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!platform::tryLockFile(lock)) {
        if (std::chrono::steady_clock::now() >= giveUp) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lock;
}

// Begins the file at path, when there is none, with the rights its folder gives to others: in a
// history shared by the users of a PC, each of them appends to or replaces what another began.
void beginShared(const std::string& path, const std::string& folder) {
    const platform::File made = platform::createNewFile(path);
    platform::shareLikeItsFolder(made, folder);
}

}  // namespace

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
        if (!ended.held()) continue;
        std::optional<std::string> kept = readWholeFile(ended.path(kPendingSuffix));
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

// A file grown to its limit, or begun by another version with other columns, is renamed
// UpdateHistory-<date>.csv (-2, -3 ... when that is taken), its rows kept as they are.
std::optional<std::string> UpdateHistory::setAsideIfNeeded() {
    const fs::path path = platform::utf8Path(historyPath());
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size == 0) return std::nullopt;
    std::string start(expectedStart().size(), '\0');
    {
        std::ifstream in(path, std::ios::binary);
        if (!in.read(start.data(), static_cast<std::streamsize>(start.size()))) start.clear();
    }
    if (size < kRotateBytes && start == expectedStart()) return std::nullopt;
    const std::string stem = folder_ + "UpdateHistory-" + QDate::currentDate().toString(Qt::ISODate).toStdString();
    fs::path target = platform::utf8Path(stem + ".csv");
    for (int number = 2; fs::exists(target, error); ++number)
        target = platform::utf8Path(stem + '-' + std::to_string(number) + ".csv");
    fs::rename(path, target, error);
    if (error) return "cannot rename " + historyPath() + ": " + error.message();
    return std::nullopt;
}

std::optional<std::string> UpdateHistory::appendKeptRows() {
    adoptPendingRowsOfEndedInstances();
    if (pending_.empty()) return std::nullopt;
    const platform::File lock = lockForWriting(folder_, kAppendLockWaitMs);
    if (!lock.isOpen()) {
        keepPendingRowsOnDisk();
        return "cannot write " + historyPath() + ": another instance of the program keeps it busy";
    }
    return writeKeptRows();
}

std::optional<std::string> UpdateHistory::writeKeptRows() {
    if (auto problem = setAsideIfNeeded()) {
        keepPendingRowsOnDisk();
        return problem;
    }
    const fs::path path = platform::utf8Path(historyPath());
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    if (error) size = 0;  // none yet; anything else shows when it is opened
    bool endsInLineBreak = true;
    if (size > 0) {
        std::ifstream in(path, std::ios::binary);
        in.seekg(-1, std::ios::end);
        endsInLineBreak = in.get() == '\n';
    }
    if (size == 0) beginShared(historyPath(), folder_);
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) {
        const std::string problem = "cannot open " + historyPath() + ": " + lastErrorText();
        keepPendingRowsOnDisk();
        return problem;
    }
    if (size == 0) out << kUtf8ByteOrderMark << historyHeaderLine();
    // A last line cut short (a power cut during an append) stays as it is; the rows go below it.
    if (!endsInLineBreak) out << "\r\n";
    for (const std::string& rows : pending_) out << rows;
    out.close();
    if (!out) {
        const std::string problem = "cannot write " + historyPath() + ": " + lastErrorText();
        keepPendingRowsOnDisk();
        return problem;
    }
    pending_.clear();
    if (instance_.held()) fs::remove(platform::utf8Path(pendingPath()), error);
    instance_.release();
    dropAdoptedPendingFiles();
    if (!platform::syncFileToDisk(historyPath())) return "cannot hand " + historyPath() + " to the disk";
    return std::nullopt;
}

// Best effort: in a folder that cannot be written to, the rows stay in memory only (and the
// pending files taken over stay where they are). The instance's id and lock are made only now, so
// that an instance with nothing pending leaves no file.
bool UpdateHistory::keepPendingRowsOnDisk() {
    if (!instance_.held()) instance_ = JobRecordFiles::create(folder_);
    if (!instance_.held()) return false;
    beginShared(pendingPath(), folder_);
    std::ofstream out(platform::utf8Path(pendingPath()), std::ios::binary | std::ios::trunc);
    for (const std::string& rows : pending_) out << rows;
    out.close();
    if (!out) return false;
    dropAdoptedPendingFiles();
    return true;
}

UpdateHistory::Recovery UpdateHistory::recoverInterruptedJobs() {
    Recovery recovery;
    for (const std::string& id : jobIdsIn(folder_, kMarkerSuffix)) {
        JobRecordFiles files = JobRecordFiles::take(folder_, id);
        if (!files.held()) continue;  // its process lives
        const std::optional<std::string> text = readWholeFile(files.path(kMarkerSuffix));
        if (!text) continue;  // finished meanwhile
        std::optional<HistoryEntry> entry = parseMarker(*text);
        if (!entry) {
            files.setAside(kMarkerSuffix);
            recovery.setAside.push_back(fileNameOf(files.path(kMarkerSuffix)));
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
        const std::optional<std::string> text = readWholeFile(jobFilePath(folder_, id, kStrandedSuffix));
        if (!text) continue;
        if (std::optional<HistoryEntry> entry = parseMarker(*text)) {
            recovery.stranded.push_back({id, std::move(*entry)});
            continue;
        }
        JobRecordFiles files = JobRecordFiles::take(folder_, id);
        if (!files.held()) continue;
        files.setAside(kStrandedSuffix);
        recovery.setAside.push_back(fileNameOf(files.path(kStrandedSuffix)));
    }
    return recovery;
}

std::vector<UpdateHistory::Stranded> UpdateHistory::strandedUpdates() const {
    std::vector<Stranded> stranded;
    for (const std::string& id : jobIdsIn(folder_, kStrandedSuffix)) {
        const std::optional<std::string> text = readWholeFile(jobFilePath(folder_, id, kStrandedSuffix));
        if (!text) continue;
        if (std::optional<HistoryEntry> entry = parseMarker(*text)) stranded.push_back({id, std::move(*entry)});
    }
    return stranded;
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
    std::ifstream in(platform::utf8Path(historyPath()), std::ios::binary | std::ios::ate);
    if (!in || count == 0) return {};
    const std::streamoff size = in.tellg();
    const std::streamoff start = size > static_cast<std::streamoff>(kTailBytes) ? size - static_cast<std::streamoff>(kTailBytes) : 0;
    in.seekg(start);
    const std::string tail(std::istreambuf_iterator<char>(in), {});
    // The first line of a tail may be cut, and the file's own first line is the header: both go.
    // A line break inside a quoted field (an error text of two lines) stays in its row.
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    const std::size_t firstBreak = tail.find('\n');
    for (std::size_t i = firstBreak == std::string::npos ? tail.size() : firstBreak + 1; i < tail.size(); ++i) {
        const char c = tail[i];
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}
