// Whether a folder the program writes into may have been pointed elsewhere by someone else, so that
// the program's writes would land where that person chose.
#pragma once

#include <string>

namespace platform {

// True when folder is a symbolic link or junction that the system does not vouch for: on Windows
// any reparse point (the installer makes a plain folder); on Linux a symbolic link owned by neither
// the administrator (the installed program's own link) nor the user running the program.
bool isUntrustedFolderLink(const std::string& folder);

}  // namespace platform
