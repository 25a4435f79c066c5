// The console's end. On Windows, closing the console window, logging off and shutting down give a
// console program a few seconds (CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT) before
// the system ends it. The hook runs then, synchronously on the thread the system calls in, while
// the program's other threads go on; the process ends when it returns, or when the system's time
// is up. So it does little: it saves what must outlive the process (a file synced to disk) and
// takes no lock that another thread may hold for long. Elsewhere the console has no such end and
// the hook is never called: on Linux a hang-up or SIGTERM ends the process as before.
#pragma once

#include <functional>

namespace platform {

// One hook for the process; a later call replaces it, an empty one removes it. A call waits for a
// hook that runs meanwhile, so that what the hook uses may go once it is removed; the hook itself
// must not call this.
void setConsoleEndHook(std::function<void()> hook);

}  // namespace platform
