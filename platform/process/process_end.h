// The end of a program, once main's own clean-up is done.
#pragma once

namespace platform {

// Flushes the standard streams and ends this process with exitCode. On Windows the libraries'
// detach is skipped: MinGW's thread library can wait there for ever on the lock of its thread keys
// after threads have ended, which leaves the process (and the job records it holds) alive after
// its window or its last line has gone. Elsewhere the process ends as a return from main does.
[[noreturn]] void endProcess(int exitCode);

}  // namespace platform
