// The journal of the running log: a file beside its workbook that takes every cell as it is
// written, appended and handed to the system row by row, so that a crash costs at most the row
// being written; the workbook thread then makes each row durable (platform/file_sync.h), so that a
// power cut costs no more. It goes once the workbook is saved or discarded.
#pragma once

#include "recorder_logic.h"

#include <QFile>
#include <QString>

#include <string>
#include <vector>

class LogJournal {
public:
    // Starts an empty journal for the workbook at workbookPath, ending any other. False when the file
    // cannot be created; the log then runs without one.
    bool start(const QString& workbookPath);
    // Appends the cells in one write. False when there is no journal or the write failed.
    bool append(const std::vector<LogCell>& cells);
    // The workbook is safe (or was given up): the journal is removed.
    void finish();
    // The journal's file; empty when there is none.
    std::string path() const { return file_.isOpen() ? file_.fileName().toStdString() : std::string(); }
    // Why the last start or append failed.
    QString errorText() const { return file_.errorString(); }

private:
    QFile file_;
};
