// POSIX: SIGPIPE, which ends a process that writes to a pipe without a reader, is ignored; the
// write fails with EPIPE instead.
#include "platform/console/broken_pipe.h"

#include <csignal>

namespace platform {

void ignoreBrokenPipe()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace platform
