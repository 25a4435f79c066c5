// POSIX: a console has no end event of its own; the hook is kept nowhere and never called.
#include "platform/console/console_end.h"

namespace platform {

void setConsoleEndHook(std::function<void()> /*hook*/) {}

}  // namespace platform
