// Which files the finish of a stranded update may use. Its record lies beside the history, in a
// folder that every user of the PC may write into, so that anyone could have written it: the
// firmware it names goes to the controller only when it is a file of the program's own Firmware/
// folder (the file itself there, not a link there to a file elsewhere), one that a fresh update
// would take, with the SHA-256 recorded when the update began. The image data file it names, which
// the finish records in the history, is held to the same.
#pragma once

#include "history_row.h"

#include <optional>
#include <string>

// Why the stranded update's files cannot serve its finish; nothing when they can, and entry's
// paths then name the files themselves, no link on the way. appFolder ends with a separator.
std::optional<std::string> strandedFilesProblem(const std::string& appFolder, HistoryEntry& entry);
