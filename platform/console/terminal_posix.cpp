#include "platform/console/terminal.h"

#include <unistd.h>

namespace platform {

bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace platform
