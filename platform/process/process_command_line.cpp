// The parts of running a program that do not depend on the operating system.
#include "platform/process/process.h"

namespace platform {

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;  // "" is an empty argument
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(std::move(current));
    return arguments;
}

std::string describe(const ProcessResult& result, int timeoutMs) {
    switch (result.status) {
    case ProcessResult::Status::Exited: return "exited with code " + std::to_string(result.exitCode);
    case ProcessResult::Status::NotStarted: return "could not be started (" + describe(result.error) + ")";
    case ProcessResult::Status::TimedOut:
        return "did not end within " + std::to_string(timeoutMs) + " ms and was stopped";
    }
    return "unknown result";
}

}  // namespace platform
