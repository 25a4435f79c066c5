// Handing a "47J53" board from the controller link to the bootloader library, which searches for
// the board and opens its own handles in every call.
#pragma once

#include "engineering_page.h"

#include <string>

// Closes the link's handles so that they no longer hold the board, then starts the library's
// session on vidPid. False, and logged, when the library cannot find the board: the job ends there.
bool handBoardToLibrary(const std::string& vidPid, EngineeringPage& page);
