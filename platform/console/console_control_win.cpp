// Windows: the console control handler that serves Ctrl+C and the console's end. It is installed at
// the first receiver and stays: with no receiver for an event it returns FALSE, which leaves the
// event to the system's default handler as if it were not there.
#include "platform/console/console_control_win.h"
#include "platform/console/console_end.h"

#include <mutex>
#include <utility>

#include <windows.h>

namespace platform {
namespace {

// One receiver and its lock; the lock is held while the receiver runs, so that one removed is done.
struct Receiver {
    std::mutex mutex;
    std::function<void()> call;

    bool run()
    {
        const std::lock_guard lock(mutex);
        if (!call) return false;
        call();
        return true;
    }

    void set(std::function<void()> receiver)
    {
        const std::lock_guard lock(mutex);
        call = std::move(receiver);
    }
};

Receiver& interruptReceiver()
{
    static Receiver receiver;
    return receiver;
}

Receiver& endHook()
{
    static Receiver receiver;
    return receiver;
}

BOOL WINAPI onConsoleControl(DWORD controlType)
{
    switch (controlType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: return interruptReceiver().run() ? TRUE : FALSE;
    // TRUE once the hook has run: the system then ends the process at once, rather than the
    // default handler's ExitProcess tearing down what the other threads still use.
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: return endHook().run() ? TRUE : FALSE;
    default: return FALSE;
    }
}

void installHandlerOnce()
{
    static const bool installed = SetConsoleCtrlHandler(onConsoleControl, TRUE) != FALSE;
    static_cast<void>(installed);
}

}  // namespace

void setConsoleInterruptReceiver(std::function<void()> receiver)
{
    installHandlerOnce();
    interruptReceiver().set(std::move(receiver));
}

void setConsoleEndHook(std::function<void()> hook)
{
    installHandlerOnce();
    endHook().set(std::move(hook));
}

}  // namespace platform
