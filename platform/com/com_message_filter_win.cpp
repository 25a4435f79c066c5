#include "platform/com/com_message_filter_win.h"

#include <objbase.h>

#include <atomic>

namespace platform::com {
namespace {

class RetryingFilter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IMessageFilter)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // This thread serves no objects of its own: whatever comes in is handled as usual.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override
    {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override
    {
        return static_cast<DWORD>(retryDelayAfterRejection(elapsedMs, rejectType));
    }
    // Messages that arrive while a call waits are dispatched, so the thread stays responsive.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

private:
    std::atomic<ULONG> references_{1};
};

struct ThreadFilter {
    int registrations = 0;
    IMessageFilter* previous = nullptr;
};
thread_local ThreadFilter threadFilter;

}  // namespace

std::int32_t retryDelayAfterRejection(std::uint32_t elapsedMs, std::uint32_t rejectType)
{
    const bool busy = rejectType == SERVERCALL_RETRYLATER || rejectType == SERVERCALL_REJECTED;
    if (!busy || elapsedMs >= kRetryRejectedForMs) return -1;
    return static_cast<std::int32_t>(kRetryRejectedPauseMs);
}

MessageFilterRegistration::MessageFilterRegistration() : registered_(true)
{
    if (threadFilter.registrations++ > 0) return;
    RetryingFilter* filter = new RetryingFilter;
    // COM keeps its own reference; ours goes at once.
    if (CoRegisterMessageFilter(filter, &threadFilter.previous) != S_OK) {
        registered_ = false;
        --threadFilter.registrations;
    }
    filter->Release();
}

MessageFilterRegistration::~MessageFilterRegistration()
{
    if (!registered_ || --threadFilter.registrations > 0) return;
    CoRegisterMessageFilter(threadFilter.previous, nullptr);
    if (threadFilter.previous != nullptr) threadFilter.previous->Release();
    threadFilter.previous = nullptr;
}

}  // namespace platform::com
