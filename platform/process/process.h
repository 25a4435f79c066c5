// Running another program and waiting for it to end, with a time limit. The program runs in a
// process group of its own, out of reach of a Ctrl+C at the terminal.
#pragma once

#include "platform/core/os_error.h"

#include <string>
#include <vector>

namespace platform {

struct ProcessResult {
    enum class Status { Exited, NotStarted, TimedOut };
    Status status = Status::NotStarted;
    int exitCode = 0;     // Exited: the program's exit code (128 + signal number when a signal ended it)
    OsError error = kOk;  // NotStarted: why
};

// Runs arguments[0] (a path, or a name looked up in PATH) with the given arguments, in this
// process's environment and current folder, and waits at most timeoutMs for it to end. A program
// still running then is killed, and the result is TimedOut. POSIX: the program's standard output
// goes to this process's standard error, so that a program whose own output is data
// (lumaro-update --json) never carries another program's lines.
ProcessResult runProcess(const std::vector<std::string>& arguments, int timeoutMs);

// The same for a command line in the Windows convention: arguments separated by blanks, double
// quotes around an argument that holds blanks (the quotes are not part of it), backslashes kept.
ProcessResult runCommandLine(const std::string& commandLine, int timeoutMs);

// The arguments of such a command line.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Short English description, e.g. "exited with code 3" or "did not end within 60000 ms and was stopped".
std::string describe(const ProcessResult& result, int timeoutMs);

}  // namespace platform
