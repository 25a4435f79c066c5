// Windows: the message filter of a thread that calls a spreadsheet program. A program that is busy
// (a dialog open, a recalculation, a save) rejects calls; without a filter they fail at once with
// RPC_E_CALL_REJECTED or RPC_E_SERVERCALL_RETRYLATER, with one they are tried again for a while.
#pragma once

#include <cstdint>

namespace platform::com {

inline constexpr std::uint32_t kRetryRejectedForMs = 5000;
inline constexpr std::uint32_t kRetryRejectedPauseMs = 250;

// The filter's answer to COM for a call the server rejected elapsedMs ago (rejectType: SERVERCALL_
// REJECTED or SERVERCALL_RETRYLATER): how many milliseconds to wait before trying it again (100 or
// more, which COM takes as "wait, then retry"), or -1 to give up, and the call fails as rejected.
std::int32_t retryDelayAfterRejection(std::uint32_t elapsedMs, std::uint32_t rejectType);

// Registers the filter on the calling thread, which must be in a single-threaded apartment, for as
// long as the thread has at least one of these; the filter registered before comes back after the
// last. Without a single-threaded apartment nothing is registered.
class MessageFilterRegistration {
public:
    MessageFilterRegistration();
    ~MessageFilterRegistration();
    MessageFilterRegistration(const MessageFilterRegistration&) = delete;
    MessageFilterRegistration& operator=(const MessageFilterRegistration&) = delete;

private:
    bool registered_;
};

}  // namespace platform::com
