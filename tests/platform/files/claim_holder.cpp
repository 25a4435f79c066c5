// Takes the claim on the key given first, says so by creating the file given second, and holds the
// claim until it is killed; ends with 3 when the claim is another's.
#include "platform/files/controller_claim.h"

#include <chrono>
#include <fstream>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const platform::ClaimAttempt attempt = platform::takeControllerClaim(argv[1], "claim holder");
    if (!attempt.claim.held()) return 3;
    std::ofstream(argv[2]) << "held\n";
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
