// Windows: a console control handler. The system calls it on a thread of its own; it posts the
// press to the watcher's thread and returns TRUE, which keeps the process from being ended.
#include "platform/console/interrupt_watch.h"

#include <QMetaObject>

#include <atomic>

#include <windows.h>

namespace platform {
namespace {

std::atomic<InterruptWatcher*> activeWatcher{nullptr};

BOOL WINAPI onConsoleControl(DWORD controlType)
{
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT) return FALSE;
    InterruptWatcher* watcher = activeWatcher.load();
    if (watcher == nullptr) return FALSE;
    QMetaObject::invokeMethod(watcher, [watcher] { emit watcher->interrupted(); }, Qt::QueuedConnection);
    return TRUE;
}

class WinInterruptBackend final : public InterruptWatcher::Backend {
public:
    explicit WinInterruptBackend(InterruptWatcher& watcher)
    {
        activeWatcher = &watcher;
        installed_ = SetConsoleCtrlHandler(onConsoleControl, TRUE) != FALSE;
    }

    ~WinInterruptBackend() override
    {
        if (installed_) SetConsoleCtrlHandler(onConsoleControl, FALSE);
        activeWatcher = nullptr;
    }

    WinInterruptBackend(const WinInterruptBackend&) = delete;
    WinInterruptBackend& operator=(const WinInterruptBackend&) = delete;

private:
    bool installed_ = false;
};

}  // namespace

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent), backend_(std::make_unique<WinInterruptBackend>(*this)) {}

InterruptWatcher::~InterruptWatcher() = default;

}  // namespace platform
