// A standard output whose reader went away (`lumaro-update --json | head -1`, a line controller
// that restarts) must end the output, never the program in the middle of a device job.
#pragma once

namespace platform {

// Called early in main: from then on a write to a pipe without a reader fails instead of ending
// the process. The programs it runs get the system's default back.
void ignoreBrokenPipe();

}  // namespace platform
