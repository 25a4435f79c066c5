// Windows: Ctrl+C and Ctrl+Break through the process's console control handler, which the console's
// end shares (console_control_win.h). The system calls it on a thread of its own; the press is
// posted to the watcher's thread, and the process is not ended.
#include "platform/console/interrupt_watch.h"
#include "platform/console/console_control_win.h"

#include <QMetaObject>

namespace platform {
namespace {

class WinInterruptBackend final : public InterruptWatcher::Backend {
public:
    explicit WinInterruptBackend(InterruptWatcher& watcher)
    {
        setConsoleInterruptReceiver([&watcher] {
            QMetaObject::invokeMethod(&watcher, [&watcher] { emit watcher.interrupted(); }, Qt::QueuedConnection);
        });
    }

    // Waits for a press being posted: the watcher is still whole then.
    ~WinInterruptBackend() override { setConsoleInterruptReceiver({}); }

    WinInterruptBackend(const WinInterruptBackend&) = delete;
    WinInterruptBackend& operator=(const WinInterruptBackend&) = delete;
};

}  // namespace

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent), backend_(std::make_unique<WinInterruptBackend>(*this)) {}

InterruptWatcher::~InterruptWatcher() = default;

}  // namespace platform
