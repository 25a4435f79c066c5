#include "crash_stack.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#if !defined(__SANITIZE_ADDRESS__)
namespace {

char processId[16];  // formatted beforehand: the handler may only call what is safe in a signal

void onCrash(int signal)
{
    static const char heading[] = "\n*** The test program crashed; gdb shows where:\n";
    (void)!::write(STDERR_FILENO, heading, sizeof heading - 1);
    const pid_t debugger = ::fork();
    if (debugger == 0) {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::execlp("gdb", "gdb", "-nx", "-batch", "-p", processId, "-ex", "thread apply all bt", nullptr);
        ::_exit(127);  // no gdb on this machine: the signal alone is told
    }
    if (debugger > 0) {
        int status = 0;
        ::waitpid(debugger, &status, 0);
    }
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace
#endif

void printStacksOnCrash()
{
#if !defined(__SANITIZE_ADDRESS__)
    std::snprintf(processId, sizeof processId, "%d", static_cast<int>(::getpid()));
    // Where only a process's ancestors may trace it (Yama), gdb is its child, not its parent.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    struct sigaction action {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) ::sigaction(signal, &action, nullptr);
#endif
}
