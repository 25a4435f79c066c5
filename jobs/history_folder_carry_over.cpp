#include "jobs/history_folder_carry_over.h"

#include "jobs/job_record_files.h"
#include "jobs/update_history.h"
#include "jobs/update_history_merge.h"
#include "platform/core/utf8_path.h"
#include "platform/files/exclusive_file.h"
#include "platform/files/file_move.h"
#include "platform/files/folder_link.h"
#include "platform/files/shared_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Found = platform::PlainFileOpening::Found;

namespace {

constexpr std::array<std::string_view, 2> kCarriedRecords{kStrandedSuffix, kMarkerSuffix};

bool removeFile(const std::string& path) {
    std::error_code error;
    return fs::remove(platform::utf8Path(path), error) && !error;
}

bool isRotatedHistoryName(const std::string& name) {
    return name.starts_with("UpdateHistory-") && name.ends_with(".csv");
}

// What an older version left in folder: its history files (the current one, rotated ones) and the
// jobs with records or pending rows.
struct OlderHistory {
    bool current = false;
    std::vector<std::string> rotated;
    std::set<std::string> jobs;     // with a stranded or running record
    std::set<std::string> pending;  // with rows kept pending
    bool empty() const { return !current && rotated.empty() && jobs.empty() && pending.empty(); }
};

OlderHistory olderHistoryIn(const std::string& folder) {
    OlderHistory older;
    std::error_code error;
    for (fs::directory_iterator it(platform::utf8Path(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = platform::utf8String(it->path().filename());
        if (name == UpdateHistory::kHistoryName) older.current = true;
        if (isRotatedHistoryName(name)) older.rotated.push_back(name);
        for (const std::string_view suffix : kCarriedRecords)
            if (auto id = jobIdOfFileName(name, suffix)) older.jobs.insert(*id);
        if (auto id = jobIdOfFileName(name, kPendingSuffix)) older.pending.insert(*id);
    }
    return older;
}

// A file written whole under a name nobody has taken, on the disk before this returns.
bool writeNewFile(const std::string& folder, const std::string& name, const std::string& text) {
    platform::File file = platform::createNewFile(folder + name);
    if (!file.isOpen()) return false;
    platform::shareLikeItsFolder(file, folder);
    const bool written = file.write(text) == text.size() && file.sync();
    file.close();
    if (!written) removeFile(folder + name);
    return written;
}

// A whole file of from/ moved to name in to/: written there, then removed here; where it cannot be
// removed here (another user's), the copy goes again, so that nothing is in both places.
void carryFileWhole(const std::string& from, const std::string& name, const std::string& to, const std::string& toName,
                    const std::string& text) {
    if (writeNewFile(to, toName, text) && !removeFile(from + name)) removeFile(to + toName);
}

void carryRotatedFiles(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const RecordText file = readRecordFile(from, name, kMaxRowsBytes);
        if (!file.text) continue;
        std::error_code error;
        const bool free = !fs::exists(fs::symlink_status(platform::utf8Path(to + name), error));
        carryFileWhole(from, name, to, free ? name : fileNameOf(historySetAsideName(to)), *file.text);
    }
}

// The rows of Record/'s current history and of its ended instances' pending files joined to
// History/'s; the files they came from go once History/'s file holds them. A current file of
// another version whose columns are not the first of today's is carried whole as a file set aside.
void carryRows(const std::string& from, const std::string& to, const OlderHistory& older) {
    const std::string csvName(UpdateHistory::kHistoryName);
    std::vector<std::string> olderRows;
    bool currentCarried = false;
    if (older.current) {
        const RecordText csv = readRecordFile(from, csvName, kMaxRowsBytes);
        const auto rows = csv.text ? historyRowsInTodaysColumns(*csv.text) : std::nullopt;
        if (csv.text && (csv.text->empty() || rows)) {
            if (rows) olderRows = *rows;
            currentCarried = true;
        } else if (csv.text) {
            carryFileWhole(from, csvName, to, fileNameOf(historySetAsideName(to)), *csv.text);
        }
    }
    std::vector<JobRecordFiles> ended;  // their locks held until their rows are safe
    for (const std::string& id : older.pending) {
        JobRecordFiles files = JobRecordFiles::take(from, id);
        if (!files.held()) continue;  // an older instance that still runs
        const RecordText rows = readRecordFile(from, jobFileName(id, kPendingSuffix), kMaxRowsBytes);
        if (!rows.text) continue;
        for (std::string& row : csvLines(*rows.text)) olderRows.push_back(std::move(row));
        ended.push_back(std::move(files));
    }
    if (!currentCarried && ended.empty()) return;

    platform::PlainFileOpening current = platform::openPlainFile(to, csvName, platform::PlainFileAccess::Read);
    if (current.found == Found::NotPlain || current.found == Found::Failed) return;  // left as it is for now
    std::vector<std::string> rows;
    if (current.found == Found::File) {
        const std::optional<std::string> text = current.file.readAll(kMaxRowsBytes);
        current.file.close();  // Windows replaces no file held open
        if (!text) return;
        if (auto inTodaysColumns = historyRowsInTodaysColumns(*text)) {
            rows = std::move(*inTodaysColumns);
        } else if (!text->empty()) {  // another version's: set aside whole, as an append would
            std::error_code error;
            fs::rename(platform::utf8Path(to + csvName), platform::utf8Path(historySetAsideName(to)), error);
            if (error) return;
        }
    }
    const std::vector<std::string> merged = mergedHistoryRows(rows, olderRows);
    if (merged.size() > rows.size()) {
        std::string text = historyFileStart();
        for (const std::string& row : merged) text += row;
        if (!replaceHistoryFile(to, text)) return;
    }
    if (currentCarried) removeFile(from + csvName);
    for (const JobRecordFiles& files : ended) removeFile(files.path(kPendingSuffix));
}

using RecordTexts = std::vector<std::pair<std::string_view, std::string>>;

// The job's files in to/ under its own id where that names no other record, else under a new one.
JobRecordFiles filesToCarryInto(const std::string& to, const std::string& id, const RecordTexts& texts) {
    JobRecordFiles same = JobRecordFiles::take(to, id);
    if (same.held()) {
        bool clash = false;
        for (const std::string_view suffix : kCarriedRecords) {
            const RecordText there = readRecordFile(to, jobFileName(id, suffix), kMaxRecordBytes);
            const auto ours = std::find_if(texts.begin(), texts.end(), [&](const auto& text) { return text.first == suffix; });
            clash = clash || (there.found != Found::Nothing && (ours == texts.end() || there.text != ours->second));
        }
        if (!clash) return same;
    }
    return JobRecordFiles::create(to);
}

// Each job's stranded and running records, read under its lock in from/ and written under its lock
// in to/; a job whose records are not all the program's stays where it is.
void carryRecords(const std::string& from, const std::string& to, const std::set<std::string>& jobs) {
    for (const std::string& id : jobs) {
        const JobRecordFiles older = JobRecordFiles::take(from, id);
        if (!older.held()) continue;  // a job an older version still runs, or a lock not the program's
        RecordTexts texts;
        bool readable = true;
        for (const std::string_view suffix : kCarriedRecords) {
            const RecordText record = readRecordFile(from, jobFileName(id, suffix), kMaxRecordBytes);
            if (record.found == Found::Nothing) continue;
            readable = readable && record.text && parseMarker(*record.text);
            if (readable) texts.emplace_back(suffix, *record.text);
        }
        if (!readable || texts.empty()) continue;
        JobRecordFiles carried = filesToCarryInto(to, id, texts);
        if (!carried.held()) continue;
        std::vector<std::string_view> written;
        bool whole = true;
        for (const auto& [suffix, text] : texts) {
            if (readRecordFile(to, jobFileName(carried.id(), suffix), kMaxRecordBytes).text == text) continue;
            whole = whole && carried.writeRecord(suffix, text);
            if (whole) written.push_back(suffix);
        }
        std::size_t removed = 0;
        for (const auto& record : texts) {
            if (!whole || !removeFile(older.path(record.first))) break;
            ++removed;
        }
        // Nothing removed here (not whole, or another user's files): the copies go again. Once one
        // is removed, the copies stay, and what is left here is found there already next time.
        if (removed == 0)
            for (const std::string_view suffix : written) removeFile(carried.path(suffix));
    }
}

}  // namespace

void carryOverOlderHistory(const std::string& recordFolder, const std::string& historyFolder) {
    std::error_code error;
    if (!fs::is_directory(platform::utf8Path(recordFolder), error) || platform::isUntrustedFolderLink(recordFolder))
        return;
    const OlderHistory older = olderHistoryIn(recordFolder);
    if (older.empty()) return;
    platform::File historyLock, recordLock;
    if (lockHistoryForWriting(historyFolder, UpdateHistory::kAppendLockWaitMs, historyLock) ||
        lockHistoryForWriting(recordFolder, UpdateHistory::kAppendLockWaitMs, recordLock))
        return;
    carryRecords(recordFolder, historyFolder, older.jobs);
    carryRows(recordFolder, historyFolder, older);
    carryRotatedFiles(recordFolder, historyFolder, older.rotated);
}
