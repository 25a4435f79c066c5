// The claim a device job holds on one controller, so that no second job erases or writes to it
// meanwhile: not one of this program, of the other front end, nor of another user of the PC. The
// claim is a name that the system gives to one process at a time and takes back when that process
// ends, however it ends (Linux: a socket in the abstract namespace; Windows: a named pipe), so
// nothing is left on a disk to be planted, faked or left over. Whoever asks for a claim already held
// learns from the holder its program and, from the system, its process id.
#pragma once

#include "platform/core/os_error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The key of a controller's claim: its USB port where the system tells it, else the path of its
// interface (or, for a controller in its bootloader, of its update disk). The same controller gives
// the same key in every process; on the virtual bus the bus is part of it, so that two buses never
// share one.
std::string controllerClaimKey(std::string_view port, std::string_view devicePath);

// The system-wide name of the claim on key: a fixed prefix and a hash, only letters, digits, '-'
// and '.', short enough for every system's names.
std::string claimName(std::string_view key);

// Who holds a claim, as far as can be told: its program as it named itself (printable ASCII only)
// and its process id; empty and 0 when unknown.
struct ClaimHolder {
    std::string program;
    std::uint64_t processId = 0;
};

// "lumaro-update, process 1234", or what is known of it.
std::string describe(const ClaimHolder& holder);

// What a holder said its program is, as it may be shown: printable ASCII only, at most
// kHolderProgramMax characters (anyone can hold a name and say anything).
inline constexpr std::size_t kHolderProgramMax = 64;
std::string holderProgramFrom(std::string_view said);

// Held until destroyed: its end lets the claim go.
class ControllerClaim {
public:
    struct Held;  // the system's objects, one kind per system
    struct LetGo {
        void operator()(Held* held) const;
    };

    ControllerClaim() = default;
    explicit ControllerClaim(std::unique_ptr<Held, LetGo> held) : held_(std::move(held)) {}

    bool held() const { return held_ != nullptr; }

private:
    std::unique_ptr<Held, LetGo> held_;
};

struct ClaimAttempt {
    ControllerClaim claim;  // held when taken
    ClaimHolder holder;     // otherwise, who holds it
    OsError error = kOk;    // or why the system could not say whether anyone does
};

// Takes the claim on key without waiting, telling whoever asks later that program holds it. One
// process holds a claim once: a second attempt of the same process is refused as any other is.
ClaimAttempt takeControllerClaim(std::string_view key, std::string_view program);

}  // namespace platform
