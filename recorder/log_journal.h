// The journal of the running log: a file beside its workbook that takes every cell as it is
// written, appended and handed to the system row by row, so that a crash costs at most the row
// being written; the workbook thread then makes each row durable (platform/file_sync.h), so that a
// power cut costs no more. It is locked while open, so that no other instance takes it for a
// crash's leftover, and removed only once its workbook is saved or the log is discarded: closed, it
// stays for the next start to write out.
#pragma once

#include "recorder/recorder_logic.h"

#include "platform/files/file_handle.h"

#include <QString>

#include <string>
#include <vector>

class LogJournal {
public:
    // Starts an empty journal for the workbook at workbookPath, closing (not removing) any other.
    // False when the file cannot be made, an old file of that name included; the log then runs
    // without one.
    bool start(const QString& workbookPath);
    // Appends the cells in one write. False when there is no journal or the write failed; a write cut
    // short leaves a torn line, which the next append ends first (kTornLineEnd).
    bool append(const std::vector<LogCell>& cells);
    // The log is over but its workbook is not saved: the journal stays for the next start.
    void close();
    // The workbook is safe (or was given up): the journal is closed and removed. False when it could
    // not be removed (errorText says why); nothing is done without a journal.
    bool remove();
    // The journal's file; empty when there is none.
    std::string path() const { return file_.isOpen() ? path_ : std::string(); }
    // Why the last start, append or remove failed.
    QString errorText() const { return errorText_; }

private:
    platform::File file_;
    std::string path_;
    bool torn_ = false;  // the last append was cut short
    QString errorText_;
};
