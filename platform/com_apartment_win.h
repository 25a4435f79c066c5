// Windows: membership of the calling thread in a COM apartment, held for as long as it is needed.
#pragma once

namespace platform::com {

// Joins COM on the calling thread as a single-threaded apartment, or uses the apartment the thread
// is already in; leaves it again when destroyed, on the same thread. COM counts the joins, so every
// object holding one keeps the thread's COM alive until the object itself has been released.
// Throws Error when COM cannot be started on the thread.
class ApartmentMembership {
public:
    ApartmentMembership();
    ~ApartmentMembership();
    ApartmentMembership(const ApartmentMembership&) = delete;
    ApartmentMembership& operator=(const ApartmentMembership&) = delete;

private:
    bool joined_;
};

}  // namespace platform::com
