#include "platform/process/system_error_boxes.h"

#include <windows.h>

namespace platform {

// The flags are added to those the process has (a parent may have set others); threads that set a
// mode of their own for a while (volumes_win.cpp) keep theirs.
void failInsteadOfSystemErrorBoxes()
{
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace platform
