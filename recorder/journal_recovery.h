// Finding the logs that a crash or a power cut kept from being saved: the journals left in the
// record folder. Only the recorder's own are taken: named as it names them, plain files of this
// user, of a sane size, and held by no running log (another instance's, or another user's). Each
// found journal stays held, locked, until it is written out and removed.
#pragma once

#include "recorder/recorder_logic.h"

#include "platform/files/file_handle.h"

#include <QSet>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

struct FoundJournal {
    QString path;                          // the journal
    std::shared_ptr<platform::File> held;  // open and locked until it is removed
    LogFileNameParts name;                 // what its workbook's name says
    std::vector<LogCell> cells;            // its cells, those no worksheet holds left out
    std::size_t dropped = 0;               // how many were left out
};

// The journals of folder that can be recovered now. A journal of the recorder's that cannot be read
// is told through unreadable (its name and the system's words) and left for the next start.
std::vector<FoundJournal> findRecoverableJournals(
    const QString& folder, const std::function<void(const QString& journal, const QString& reason)>& unreadable);

// Where a journal's workbook is written out: its own name when free, else the next of its start's
// sequence that no file, no other journal and no recovery under way (taken) has: never another
// file, and always in folder (which ends with a separator).
QString recoveryTarget(const QString& folder, const LogFileNameParts& name, const QString& journalPath,
                       const QSet<QString>& taken);
