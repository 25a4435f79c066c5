#include "platform/process/wake_signal.h"

#include <windows.h>

#include <stdexcept>

namespace platform {

// An auto-reset event: set by notify until one wait has seen it.
struct WakeSignal::State {
    HANDLE event = nullptr;
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>())
{
    state_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (state_->event == nullptr) throw std::runtime_error("The system could not make an event for a waiting thread");
}

WakeSignal::~WakeSignal() { CloseHandle(state_->event); }

void WakeSignal::notify() { SetEvent(state_->event); }

// Messages are dispatched as they come, so that a sender never waits on this thread for longer than
// its handling takes. MWMO_INPUTAVAILABLE: a message that came before the wait began is handled too.
void WakeSignal::wait()
{
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &state_->event, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return;
        if (woken != WAIT_OBJECT_0 + 1) {  // the wait itself failed: wait on the event alone
            WaitForSingleObject(state_->event, INFINITE);
            return;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace platform
