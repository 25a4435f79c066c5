// The history an older version kept in Record/, carried into History/ by the first start that uses
// History/: its rows join History/'s own (one history, one header, rows in the order of their ends),
// its stranded and running records move with them, so that an update the older version left in a
// controller's bootloader is offered for finishing, and its rotated files come along as they are.
//
// Anyone may have put files into Record/ (users may add files there): only plain files are read
// (plain_file.h), a row is written again as this version writes rows, and a record moves only when
// it reads as one. Instances starting at once carry under History/'s and Record/'s write locks, and
// each job's records under its lock in both folders, so that a job an older version still runs
// stays where it is. What could not be removed from Record/ (another user's file) is carried again
// at the next start, never twice: rows already in History/ are not added again, and a record found
// there already is not written again.
#pragma once

#include <string>

// recordFolder and historyFolder end with a separator. Nothing happens when recordFolder holds no
// history; what cannot be carried now stays where it is, for the next start.
void carryOverOlderHistory(const std::string& recordFolder, const std::string& historyFolder);
