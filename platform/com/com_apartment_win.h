// Windows: membership of the calling thread in a COM apartment, held for as long as it is needed.
#pragma once

#include "platform/com/com_message_filter_win.h"

#include <optional>

namespace platform::com {

// Joins COM on the calling thread as a single-threaded apartment, or uses the apartment the thread
// is already in; leaves it again when destroyed, on the same thread. COM counts the joins, so every
// object holding one keeps the thread's COM alive until the object itself has been released.
// Throws Error when COM cannot be started on the thread. While joined, the thread's calls that a busy
// server rejects are tried again for a while (com_message_filter_win.h).
class ApartmentMembership {
public:
    ApartmentMembership();
    ~ApartmentMembership();
    ApartmentMembership(const ApartmentMembership&) = delete;
    ApartmentMembership& operator=(const ApartmentMembership&) = delete;

private:
    bool joined_;
    std::optional<MessageFilterRegistration> filter_;
};

}  // namespace platform::com
