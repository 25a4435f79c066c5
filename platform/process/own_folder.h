// The folder of the running program's own file, for what is installed beside it (Keys/), however
// it was started (a link on the PATH, another working directory).
#pragma once

#include <string>

namespace platform {

// UTF-8, ending with a separator; empty when the system does not tell.
std::string ownProgramFolder();

}  // namespace platform
