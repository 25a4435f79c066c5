// Whether the program's standard output is an interactive terminal, where a line may be
// redrawn in place, rather than a file or a pipe that keeps every character written.
#pragma once

namespace platform {

bool standardOutputIsTerminal();

}  // namespace platform
