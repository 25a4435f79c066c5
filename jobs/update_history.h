// The update history's files in the record folder: UpdateHistory.csv with a row per device job,
// UpdateHistory.running while a job runs (what is known of it so far), UpdateHistory.stranded for
// an update that a dead program left in the controller's bootloader, and UpdateHistory.pending
// with rows that could not be appended yet.
//
// A history that cannot be written never stops a job: a row that cannot be appended (the folder
// read-only, the disk full, the file locked by a spreadsheet program) is kept, in memory and in
// the pending file where that can be written, and appended before the next row or at the next
// start. A file grown to kRotateBytes is renamed UpdateHistory-<date>.csv and a new one begun, so
// that the current history always has the same name; so is a file with another header (an older
// version's). Safe to use from the jobs' threads and the window's.
#pragma once

#include "history_row.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class UpdateHistory {
public:
    static constexpr std::uintmax_t kRotateBytes = 10 * 1024 * 1024;

    // recordFolder: UTF-8, with or without a trailing separator. Reads rows left pending before.
    explicit UpdateHistory(const std::string& recordFolder);

    std::string historyPath() const { return folder_ + "UpdateHistory.csv"; }
    std::string markerPath() const { return folder_ + "UpdateHistory.running"; }
    std::string strandedPath() const { return folder_ + "UpdateHistory.stranded"; }
    std::string pendingPath() const { return folder_ + "UpdateHistory.pending"; }

    // Appends the entry's row behind any kept before, and hands the file to the disk. Nothing
    // when it is written, else why not (the row is kept).
    std::optional<std::string> append(const HistoryEntry& entry);
    // Appends the kept rows; nothing when none are left.
    std::optional<std::string> appendPending();
    std::size_t pendingRows() const;
    // What a front end tells the user of an append's outcome: the problem the first time one
    // comes after a row was written (or since the start), nothing otherwise.
    std::optional<std::string> problemToTell(const std::optional<std::string>& problem);

    // The marker of the job that runs; sync hands it to the disk too (a power cut then keeps it).
    bool writeMarker(const HistoryEntry& entry, bool sync);
    void removeMarker();

    // At start-up: a marker left by a program that died during a job becomes an "interrupted"
    // row, and the entry is returned; an update that it left in the controller's bootloader is
    // kept as the stranded update. problem says why the row could not be written, if so.
    std::optional<HistoryEntry> recoverInterruptedJob(std::optional<std::string>& problem);

    std::optional<HistoryEntry> strandedUpdate() const;
    void removeStrandedUpdate();

    // The last count rows of the current history file, without their line ends, oldest first.
    std::vector<std::string> lastRows(std::size_t count) const;

private:
    std::optional<std::string> appendKeptRows();
    std::optional<std::string> setAsideIfNeeded();
    void keepPendingRowsOnDisk();

    std::string folder_;
    mutable std::mutex mutex_;
    std::vector<std::string> pending_;  // row lines not in the history yet
    bool problemTold_ = false;
};
