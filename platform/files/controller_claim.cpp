#include "platform/files/controller_claim.h"

#include "platform/core/vbus_dir.h"
#include "platform/files/claim_name.h"

#include <cstdio>

namespace platform {

namespace {

constexpr int kAttempts = 3;  // a holder may let go between an attempt and the question to it

// Accidental sameness is all a hash must rule out here: ports and paths come from the system, and
// two controllers that did share a name would only wait for each other.
std::uint64_t fnv1a64(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

// Case is folded: Windows names one device path in either case, and a shared claim only refuses.
std::string controllerClaimKey(std::string_view port, std::string_view devicePath)
{
    std::string key = port.empty() ? "path:" + std::string(devicePath) : "port:" + std::string(port);
    if (const auto bus = virtualBusDir()) key = "bus:" + *bus + '|' + key;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string claimName(std::string_view key)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a64(key)));
    return "lumaro-ctrl-update.claim." + std::string(hex);
}

std::string describe(const ClaimHolder& holder)
{
    const std::string program = holder.program.empty() ? std::string("a program that did not say its name") : holder.program;
    return holder.processId == 0 ? program + ", process not known" : program + ", process " + std::to_string(holder.processId);
}

std::string holderProgramFrom(std::string_view said)
{
    std::string program;
    for (const char c : said.substr(0, said.find('\n'))) {
        if (program.size() == kHolderProgramMax) break;
        program += c >= ' ' && c <= '~' ? c : '?';
    }
    return program;
}

ClaimAttempt takeControllerClaim(std::string_view key, std::string_view program)
{
    const std::string name = claimName(key);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ClaimAttempt taken = holdClaimName(name, std::string(program) + '\n');
        if (taken.claim.held() || taken.error != kOk) return taken;
        if (std::optional<ClaimHolder> holder = askClaimHolder(name)) return {{}, std::move(*holder), kOk};
    }
    return {};  // taken each time between two looks: held, by whom is not known
}

}  // namespace platform
