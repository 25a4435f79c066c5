// Handing a "47J53" board from the controller link to the bootloader library, which searches for
// the board and opens its own handles in every call.
#pragma once

#include "engineering_page.h"

#include <string>

// Closes the link's handles so that they no longer hold the board, then starts the library's
// session on vidPid. A board the library cannot find is logged; the caller goes on regardless.
void handBoardToLibrary(const std::string& vidPid, EngineeringPage& page);
