// Where the update history is kept beside the program.
#pragma once

#include <string>

// History/ where the installer or the package made it, a folder that every user of the PC may write
// into, so that each user's jobs reach the one history and a job one user left is finished by the
// next; else Record/ (a copy that one user unpacked and runs). A History/ that is a link someone
// else made is not used: the history would land where they chose. An older version's history in
// Record/ is carried into History/ when History/ is used (history_folder_carry_over.h). appFolder
// ends with a separator.
std::string historyFolderOf(const std::string& appFolder);
