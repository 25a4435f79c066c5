// POSIX: SIGINT through sigaction; the handler writes a byte into a pipe (the one thing a signal
// handler may safely do), whose read end wakes the event loop.
#include "platform/console/interrupt_watch.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// Read by the signal handler: a lock-free atomic is safe there.
std::atomic<int> wakeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onInterruptSignal(int)
{
    const int savedErrno = errno;
    const char press = 1;
    // A full pipe already holds unread presses; losing this one changes nothing the loop sees late.
    [[maybe_unused]] const ssize_t written = ::write(wakeWriteEnd.load(), &press, 1);
    errno = savedErrno;
}

class PosixInterruptBackend final : public InterruptWatcher::Backend {
public:
    explicit PosixInterruptBackend(InterruptWatcher& watcher)
    {
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
        wakeWriteEnd = pipe_[1];
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &watcher, [this, &watcher] {
            char presses[16];
            ssize_t count = 0;
            while ((count = ::read(pipe_[0], presses, sizeof presses)) > 0)
                for (ssize_t i = 0; i < count; ++i) emit watcher.interrupted();
        });
        struct sigaction action {};
        action.sa_handler = onInterruptSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed_ = ::sigaction(SIGINT, &action, &previous_) == 0;
    }

    ~PosixInterruptBackend() override
    {
        if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
        notifier_.reset();
        if (pipe_[0] >= 0) {
            wakeWriteEnd = -1;
            ::close(pipe_[0]);
            ::close(pipe_[1]);
        }
    }

    PosixInterruptBackend(const PosixInterruptBackend&) = delete;
    PosixInterruptBackend& operator=(const PosixInterruptBackend&) = delete;

private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_ {};
    bool installed_ = false;
};

}  // namespace

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent), backend_(std::make_unique<PosixInterruptBackend>(*this)) {}

InterruptWatcher::~InterruptWatcher() = default;

}  // namespace platform
