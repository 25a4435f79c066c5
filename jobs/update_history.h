// The update history's files in the record folder: UpdateHistory.csv with a row per device job,
// each job's own files while it runs or while it is stranded (job_record_files.h), and each
// instance's UpdateHistory.<instance>.pending with rows that could not be appended yet.
//
// A history that cannot be written never stops a job: a row that cannot be appended (the folder
// read-only, the disk full, the file locked by a spreadsheet program) is kept, in memory and in
// the instance's pending file where that can be written, and appended before the next row; the
// pending rows of an instance that has ended (its lock free) are taken over by the next instance
// that writes, and a live instance's are never touched. Appends, a new file's header and the
// renaming below happen under the lock of UpdateHistory.write-lock, so that instances writing at
// once never interleave a row, write two headers or rename a file already renamed. A file grown to
// kRotateBytes is renamed UpdateHistory-<date>.csv and a new one begun, so that the current history
// always has the same name; so is a file with another header (an older version's). Safe to use from
// the jobs' threads and the window's.
//
// The folder may be one that every user of the PC writes into, where anyone can put anything under
// the history's names: each file is opened only where its name holds a plain file (plain_file.h),
// and a file this instance made is written through the handle it was made with, never opened by
// name again. What is found instead is never followed nor read, and is told once (Recovery).
#pragma once

#include "history_row.h"
#include "job_record_files.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A record holds a few hundred bytes: what is far larger is none of the program's, and is not read in.
inline constexpr std::size_t kMaxRecordBytes = 1 << 20;

// The first bytes of a history file that this version wrote: the byte-order mark and the header.
std::string historyFileStart();

// The lock under which instances write the history in folder (ending with a separator), held in
// lock while it is; else why not (after waitMs when another instance keeps it).
std::optional<std::string> lockHistoryForWriting(const std::string& folder, int waitMs, platform::File& lock);

// Puts text (a whole history file) in place of folder's current history through a file of its own,
// handed to the disk first: a write cut short leaves the file that was there. False when it could not.
bool replaceHistoryFile(const std::string& folder, const std::string& text);

// A free name for a history file set aside in folder: UpdateHistory-<date>.csv, or -2, -3 ... where
// anything, a link included, has the name already.
std::string historySetAsideName(const std::string& folder);

// The local time now, as the history writes it.
std::string historyTimeNow();

// An update that ended at its step left its controller in the bootloader with its update disk: a
// stranded update, kept until it is finished or the controller comes back by itself.
bool leftStrandedUpdate(const HistoryEntry& entry);

// What the finish of a stranded update records from the start: the update's facts as they were
// recorded, without the step it was left at and its error.
HistoryEntry finishingEntry(const HistoryEntry& stranded);

class UpdateHistory {
public:
    static constexpr std::uintmax_t kRotateBytes = 10 * 1024 * 1024;
    static constexpr std::string_view kHistoryName = "UpdateHistory.csv";

    // recordFolder: UTF-8, with or without a trailing separator. Takes over the rows left pending
    // by instances that have ended.
    explicit UpdateHistory(const std::string& recordFolder);
    // How long an append waits for another instance's append to end before keeping its rows.
    static constexpr int kAppendLockWaitMs = 5000;

    const std::string& folder() const { return folder_; }  // ends with a separator
    std::string historyPath() const { return folder_ + std::string(kHistoryName); }
    // This instance's pending file; empty while it keeps none.
    std::string pendingPath() const { return instance_.held() ? instance_.path(kPendingSuffix) : std::string(); }

    // Appends the entry's row behind any kept before, and hands the file to the disk. Nothing
    // when it is written, else why not (the row is kept).
    std::optional<std::string> append(const HistoryEntry& entry);
    // Appends the kept rows; nothing when none are left.
    std::optional<std::string> appendPending();
    std::size_t pendingRows() const;
    // What a front end tells the user of an append's outcome: the problem the first time one
    // comes after a row was written (or since the start), nothing otherwise.
    std::optional<std::string> problemToTell(const std::optional<std::string>& problem);

    // The updates left in a controller's bootloader, by any instance, whether or not one is being
    // finished right now (takeStranded tells).
    struct Stranded {
        std::string id;
        HistoryEntry entry;
        std::string text;  // the record as it was read
    };
    std::vector<Stranded> strandedUpdates() const;
    // The stranded update's files, taken for its finish or its row, only while no live process
    // holds them and its record is still the one that was seen: not held() when it has gone or
    // changed meanwhile (finished by another instance).
    JobRecordFiles takeStranded(const Stranded& seen) const;

    // At start-up, and whenever another instance may have died: each job whose process is gone
    // (its lock free) and left a marker becomes an "interrupted" row; an update it left in the
    // controller's bootloader is kept as a stranded update. A record that cannot be read is kept
    // aside (job_record_files.h) and named in setAside. Jobs of live processes are left alone.
    // refused: what was found in the folder and not read (not a plain file, unreadable) since the
    // last recovery, each told once by this instance.
    struct Recovery {
        std::vector<HistoryEntry> interrupted;
        std::vector<std::string> setAside;  // file names
        std::vector<std::string> refused;   // whole sentences, without a full stop
        std::optional<std::string> problem; // why a row could not be written
        std::vector<Stranded> stranded;     // the stranded updates afterwards, as strandedUpdates()
    };
    Recovery recoverInterruptedJobs();

    // The stranded update's controller showed up in its application by itself (re-plugged, or its
    // bootloader gave up): one row says so, and the stranded record goes. files: taken for it.
    std::optional<std::string> recordCameBack(const Stranded& stranded, JobRecordFiles& files);

    // The last count rows of the current history file, without their line ends, oldest first.
    std::vector<std::string> lastRows(std::size_t count) const;
    // The current history file's text; nothing when there is none, or when it cannot be read, which
    // unreadable then says why.
    std::optional<std::string> wholeHistory(std::string& unreadable) const;

private:
    std::optional<std::string> openForAppending(platform::File& csv);
    std::optional<std::string> readHeldRecord(JobRecordFiles& files, std::string_view suffix, std::size_t maxBytes);
    void noteLockNotPlain(const JobRecordFiles& files, const std::string& id);
    void noteOnce(std::string line);
    void setAsideUnreadable(JobRecordFiles& files, std::string_view suffix, Recovery& recovery);
    std::optional<std::string> appendKeptRows();
    std::optional<std::string> writeKeptRows();
    bool keepPendingRowsOnDisk();
    void adoptPendingRowsOfEndedInstances();
    void dropAdoptedPendingFiles();

    std::string folder_;
    JobRecordFiles instance_;                // while rows are pending: names their file; its lock says it lives
    platform::File pendingFile_;             // made with instance_, and written only through this handle
    std::vector<JobRecordFiles> adopted_;    // ended instances whose pending rows are in pending_
    mutable std::mutex mutex_;
    std::vector<std::string> pending_;  // row lines not in the history yet
    bool problemTold_ = false;
    mutable std::mutex notesMutex_;
    std::vector<std::string> notes_;  // for the next recovery's refused
    std::set<std::string> noted_;
};

// Rows kept pending, and the history read whole: room for several full history files.
inline constexpr std::size_t kMaxRowsBytes = 4 * UpdateHistory::kRotateBytes;
