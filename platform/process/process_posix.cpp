// POSIX: posix_spawnp, then waitpid until the time limit.
#include "platform/process/process.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

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
    int spawnError = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    for (int retry = 0; spawnError == ETXTBSY && retry < kBusyFileRetries; ++retry) {
        std::this_thread::sleep_for(10ms);
        spawnError = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    }
    if (spawnError != 0) {
        result.error = fromErrno(spawnError);
        return result;
    }

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
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = ProcessResult::Status::TimedOut;
    return result;
}

ProcessResult runCommandLine(const std::string& commandLine, int timeoutMs) {
    return runProcess(splitCommandLine(commandLine), timeoutMs);
}

}  // namespace platform
