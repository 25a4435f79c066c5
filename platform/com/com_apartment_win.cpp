#include "platform/com/com_apartment_win.h"

#include "platform/com/com_error_win.h"

#include <objbase.h>

namespace platform::com {

ApartmentMembership::ApartmentMembership()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread already in the multithreaded apartment can make the calls from there.
    if (FAILED(result) && result != RPC_E_CHANGED_MODE)
        fail(result, " (starting COM on this thread)");
    joined_ = SUCCEEDED(result);
    if (joined_) filter_.emplace();
}

ApartmentMembership::~ApartmentMembership()
{
    filter_.reset();  // while COM still runs on the thread
    if (joined_) CoUninitialize();
}

}  // namespace platform::com
