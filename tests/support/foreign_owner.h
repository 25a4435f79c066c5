// Files made as if by another user of the machine, for the checks that leave those alone.
#pragma once

#include <string>

namespace bustest {

// Gives the file or link at path (not what a link points to) to another user; false where this
// process may not (it takes the administrator) or the system has no such owners.
bool giveToAnotherUser(const std::string& path);

}  // namespace bustest
