// Whether a folder the program writes into may have been pointed elsewhere by someone else, so that
// the program's writes would land where that person chose.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// True when folder is a link to another place (a symbolic link, a junction, a mounted folder) that
// the system does not vouch for: on Windows any such reparse point (the installer makes a plain
// folder); on Linux a symbolic link owned by neither the administrator (the installed program's own
// link) nor the user running the program. Reparse points that keep the folder where it is (a cloud
// folder's placeholders, deduplication, compression) are no link.
bool isUntrustedFolderLink(const std::string& folder);

// Whether a Windows reparse point with this tag stands for another name (its name-surrogate bit),
// as junctions, symbolic links and mounted folders do; cloud files and the like do not.
bool isLinkReparseTag(std::uint32_t tag);

}  // namespace platform
