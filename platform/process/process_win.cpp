// Windows: CreateProcessW with the window hidden, then a bounded wait on the process handle. The
// command line goes as UTF-16, so that a program under a folder whose name the ANSI code page cannot
// hold is found. The child starts a process group of its own, in which a console's Ctrl+C is not
// delivered: the program that runs it decides what a press means, and a stop tool must not die in
// the middle of its work.
#include "platform/process/process.h"
#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {
namespace {

// One argument quoted so that the program's own splitting gives it back unchanged: blanks and
// quotes inside it are protected, and backslashes before a quote are doubled.
std::string quoted(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

}  // namespace

ProcessResult runCommandLine(const std::string& commandLine, int timeoutMs)
{
    ProcessResult result;
    if (commandLine.empty()) {
        result.error = kErrorInvalidParameter;
        return result;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // UTF-8 to UTF-16 as for a path; CreateProcessW may write into its command line.
    std::wstring line = utf8Path(commandLine).native();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process)) {
        result.error = GetLastError();
        return result;
    }
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        result.status = ProcessResult::Status::TimedOut;
        return result;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    result.status = ProcessResult::Status::Exited;
    result.exitCode = static_cast<int>(exitCode);
    return result;
}

ProcessResult runProcess(const std::vector<std::string>& arguments, int timeoutMs)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += quoted(argument);
    }
    return runCommandLine(line, timeoutMs);
}

}  // namespace platform
