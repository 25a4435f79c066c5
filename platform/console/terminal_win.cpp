#include "platform/console/terminal.h"

#include <windows.h>

namespace platform {

// A console answers for its mode; a file or a pipe does not.
bool standardOutputIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace platform
