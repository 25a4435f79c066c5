// The client form "tessaray-sim ctl": sends one command to a running simulator and prints its answer.
#pragma once

#include "cli_options.h"

namespace sim {

// Returns the exit code: 0 for "ok", 1 for an error answer or no simulator to ask.
int runCtl(const CtlOptions& options);

}  // namespace sim
