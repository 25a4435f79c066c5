// Waking a thread that waits for work. On Windows the waiting thread keeps handling the messages sent
// to it meanwhile: a thread in a COM single-threaded apartment must, or a program that sends it one
// (a spreadsheet program's calls and notices, a broadcast to every window) hangs until it is done.
#pragma once

#include <memory>

namespace platform {

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Wakes the thread in wait(), or lets its next wait() return at once: no wake-up is lost.
    void notify();
    // Returns after a notify() since the last return; the caller then looks for its work (several
    // notifies may end one wait).
    void wait();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
