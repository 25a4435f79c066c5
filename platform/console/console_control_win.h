// Windows: the process's one console control handler, for everything the program takes from the
// console: Ctrl+C and Ctrl+Break for the interrupt watcher, the console's end for the end hook
// (platform/console/console_end.h). One handler, so that neither answers for the other: the system
// calls the handlers last-registered first until one returns TRUE.
#pragma once

#include <functional>

namespace platform {

// Takes Ctrl+C and Ctrl+Break on the thread the system makes for each press, and keeps them from
// ending the process; empty: the system's default (the process ends). A call waits for a receiver
// that runs meanwhile.
void setConsoleInterruptReceiver(std::function<void()> receiver);

}  // namespace platform
