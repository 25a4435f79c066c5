// The claim a job holds on a controller: one holder at a time, who is named to the others; let go
// with the job; the same key for one controller whichever way it is named, another for another.
#include "platform/files/controller_claim.h"
#include "platform/process/process.h"

#include "environment.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace platform;

TEST(ControllerClaimKey, OneControllerOneKeyAndOnlyItsOwn)
{
    bustest::clearEnvironment("LUMARO_VBUS_DIR");
    const std::string port = controllerClaimKey("1-4", "/dev/hidraw3");
    EXPECT_EQ(port, controllerClaimKey("1-4", "/dev/hidraw7")) << "the port decides where it is known";
    EXPECT_EQ(controllerClaimKey("", "\\\\?\\HID#VID_1FC9&PID_0003"), controllerClaimKey("", "\\\\?\\hid#vid_1fc9&pid_0003"));
    const std::set<std::string> distinct{port, controllerClaimKey("1-5", "/dev/hidraw3"),
                                         controllerClaimKey("", "/dev/hidraw3"), controllerClaimKey("", "1-4")};
    EXPECT_EQ(distinct.size(), 4u) << "a path never names a port";
    bustest::setEnvironment("LUMARO_VBUS_DIR", "/tmp/bus-a");
    const std::string busA = controllerClaimKey("1-4", {});
    bustest::setEnvironment("LUMARO_VBUS_DIR", "/tmp/bus-b");
    EXPECT_NE(busA, controllerClaimKey("1-4", {})) << "two buses never share a claim";
    EXPECT_NE(busA, port);
    bustest::clearEnvironment("LUMARO_VBUS_DIR");

    for (const std::string& key : {port, busA, std::string(4000, '/')}) {
        const std::string name = claimName(key);
        EXPECT_LE(name.size(), 64u) << name;
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-."), std::string::npos) << name;
    }
    EXPECT_NE(claimName(port), claimName(busA));
}

TEST(ControllerClaimHolder, WhatAHolderSaysIsShownOnlyAsPrintableText)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"lumaro-update\n", "lumaro-update"},
        {"LumaroCtrlUpdate\nmore", "LumaroCtrlUpdate"},
        {"a\x1b[2Jb\tc", "a?[2Jb?c"},
        {std::string(200, 'x'), std::string(kHolderProgramMax, 'x')},
        {"", ""},
    };
    for (const auto& [said, shown] : cases) EXPECT_EQ(holderProgramFrom(said), shown);
    EXPECT_EQ(describe(ClaimHolder{"lumaro-update", 1234}), "lumaro-update, process 1234");
    EXPECT_EQ(describe(ClaimHolder{}), "a program that did not say its name, process not known");
}

TEST(ControllerClaim, OneHolderAtATimeNamedToTheOthersUntilItLetsGo)
{
    // Named for a folder of this run only: runs of the tests side by side never meet.
    const std::filesystem::path folder = bustest::makeTemporaryFolder("claim-");
    const std::string key = controllerClaimKey({}, (folder / "controller").string());
    std::optional<ClaimAttempt> first = takeControllerClaim(key, "first program");
    ASSERT_TRUE(first->claim.held()) << describe(first->error);

    // Also a second attempt of the same process is refused, told who holds it, again and again.
    for (int asked = 0; asked < 3; ++asked) {
        const ClaimAttempt second = takeControllerClaim(key, "second program");
        EXPECT_FALSE(second.claim.held());
        EXPECT_EQ(second.error, kOk);
        EXPECT_EQ(second.holder.program, "first program");
        EXPECT_NE(second.holder.processId, 0u);
    }
    const ClaimAttempt other = takeControllerClaim(controllerClaimKey({}, (folder / "other").string()), "other");
    EXPECT_TRUE(other.claim.held()) << "another controller's claim is its own";

    ControllerClaim moved = std::move(first->claim);
    first.reset();
    EXPECT_FALSE(takeControllerClaim(key, "third").claim.held()) << "a moved claim is still held";
    moved = ControllerClaim();
    EXPECT_TRUE(takeControllerClaim(key, "third").claim.held()) << "let go with its holder";
    std::filesystem::remove_all(folder);
}

// However its holder ends, killed included, the system takes the claim back.
TEST(ControllerClaim, GoesWithItsHolderKilled)
{
    const std::filesystem::path folder = bustest::makeTemporaryFolder("claim-");
    const std::string key = controllerClaimKey({}, (folder / "controller").string());
    const std::filesystem::path held = folder / "held";
    ProcessResult ended;
    std::thread holder([&] { ended = runProcess({LUMARO_CLAIM_HOLDER, key, held.string()}, 4000); });
    for (int waited = 0; waited < 300 && !std::filesystem::exists(held); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const ClaimAttempt whileHeld = takeControllerClaim(key, "asker");
    EXPECT_FALSE(whileHeld.claim.held());
    EXPECT_EQ(whileHeld.holder.program, "claim holder");
    EXPECT_NE(whileHeld.holder.processId, 0u);
    holder.join();  // killed at the end of its time
    EXPECT_EQ(ended.status, ProcessResult::Status::TimedOut) << describe(ended, 4000);
    EXPECT_TRUE(takeControllerClaim(key, "asker").claim.held());
    std::filesystem::remove_all(folder);
}

}  // namespace
