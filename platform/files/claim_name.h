// What each system provides for the controller's claim (controller_claim_linux.cpp,
// controller_claim_win.cpp): a name that one process at a time holds, and a question to its holder.
#pragma once

#include "platform/files/controller_claim.h"

#include <optional>
#include <string>

namespace platform {

// Takes the name, answering whoever asks with answer: held; or not held with error set (the system
// failed), or with no error (another holds the name).
ClaimAttempt holdClaimName(const std::string& name, const std::string& answer);

// The holder of the name; nothing when nobody holds it any more.
std::optional<ClaimHolder> askClaimHolder(const std::string& name);

}  // namespace platform
