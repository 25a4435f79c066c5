// POSIX: posix_spawnp into a process group of the child's own, then waitpid until the time limit.
// The own group keeps a terminal's Ctrl+C, which reaches the terminal's foreground group, away
// from the child: the program that runs it decides what a press means, and a stop tool must not
// die in the middle of its work. At the time limit the whole group goes, with what the child started.
#include "platform/process/process.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A program file written a moment ago may still be open for writing in a child that another thread
// forked meanwhile; exec then fails with ETXTBSY until that child execs or ends.
constexpr int kBusyFileRetries = 50;

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The child leads a new process group, and SIGPIPE is back to its default there: a program that
// ignores it (so that a closed output cannot end it) must not pass that on, as an ignored signal
// stays ignored across exec. The child's standard output is this process's standard error: what
// udisksctl says ("Mounted /dev/sda at ...") must not land among lumaro-update's JSON lines.
int spawnInOwnGroup(pid_t& pid, std::vector<char*>& argv) {
    posix_spawn_file_actions_t actions;
    if (const int error = ::posix_spawn_file_actions_init(&actions); error != 0) return error;
    if (const int error = ::posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO); error != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return error;
    }
    posix_spawnattr_t attributes;
    if (const int error = ::posix_spawnattr_init(&attributes); error != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return error;
    }
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    int error = ::posix_spawnattr_setpgroup(&attributes, 0);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (error == 0)
        error = ::posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF));
    if (error == 0) error = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& arguments, int timeoutMs) {
    ProcessResult result;
    if (arguments.empty()) {
        result.error = kErrorInvalidParameter;
        return result;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int spawnError = spawnInOwnGroup(pid, argv);
    for (int retry = 0; spawnError == ETXTBSY && retry < kBusyFileRetries; ++retry) {
        std::this_thread::sleep_for(10ms);
        spawnError = spawnInOwnGroup(pid, argv);
    }
    if (spawnError != 0) {
        result.error = fromErrno(spawnError);
        return result;
    }
    // The child sets its group before it starts the program. Where posix_spawn returns before
    // that (an implementation over fork), this closes the race, so that a kill of the group
    // finds it; once the child runs its program the call fails harmlessly (EACCES).
    ::setpgid(pid, pid);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.status = ProcessResult::Status::Exited;
            result.exitCode = exitCodeOf(status);
            return result;
        }
        if (done < 0 && errno != EINTR) {
            result.status = ProcessResult::Status::Exited;  // reaped elsewhere: it has ended, how is unknown
            result.exitCode = -1;
            return result;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(5ms);
    }
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = ProcessResult::Status::TimedOut;
    return result;
}

ProcessResult runCommandLine(const std::string& commandLine, int timeoutMs) {
    return runProcess(splitCommandLine(commandLine), timeoutMs);
}

}  // namespace platform
