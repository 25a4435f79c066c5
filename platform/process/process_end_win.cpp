#include "platform/process/process_end.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

namespace platform {

void endProcess(int exitCode)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // Ending itself, the process does not return from TerminateProcess; the exit code is kept.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    std::_Exit(exitCode);
}

}  // namespace platform
