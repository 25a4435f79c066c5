// Keeping the computer awake on Linux, against a stand-in logind on a private D-Bus: the lock is
// asked for as logind expects it (sleep, shutdown and the lid switch), held while the holder lives
// and released when it goes; where logind refuses the lid switch the rest is held; without logind
// the holder says why and nothing fails.
#include "platform/machine/keep_awake.h"
#include "private_logind.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

using lumaro::test::PrivateLogind;

const QString kReason = QStringLiteral("Updating the controller");

TEST(KeepAwake, HoldsABlockingSleepShutdownAndLidLockWhileItLivesAndReleasesItWhenItGoes)
{
    PrivateLogind logind;
    ASSERT_TRUE(logind.started());
    {
        const platform::KeepAwake hold(kReason, 0);
        EXPECT_TRUE(hold.problem().isEmpty()) << hold.problem().toStdString();
        EXPECT_EQ(logind.inhibitCalls(), 1);
        EXPECT_EQ(logind.lastInhibitArguments(),
                  (QStringList{"sleep:shutdown:handle-lid-switch", QCoreApplication::applicationName(), kReason,
                               "block"}));
        EXPECT_EQ(logind.locksHeld(), 1);
    }
    EXPECT_TRUE(logind.waitForLocksHeld(0));

    // Each job takes a lock of its own, and a second holder releases only its own.
    auto first = std::make_unique<platform::KeepAwake>(kReason, 0);
    const platform::KeepAwake second(kReason, 0);
    EXPECT_EQ(logind.locksHeld(), 2);
    first.reset();
    EXPECT_TRUE(logind.waitForLocksHeld(1));
}

TEST(KeepAwake, WhereLogindRefusesTheLidSwitchSleepAndShutdownAreStillHeld)
{
    PrivateLogind logind;
    ASSERT_TRUE(logind.started());
    logind.refuse("handle-lid-switch");
    const platform::KeepAwake hold(kReason, 0);
    EXPECT_TRUE(hold.problem().contains("not the lid switch")) << hold.problem().toStdString();
    EXPECT_TRUE(hold.problem().contains("Access denied")) << hold.problem().toStdString();
    EXPECT_EQ(logind.locksHeld(), 1);
    ASSERT_FALSE(logind.lastInhibitArguments().isEmpty());
    EXPECT_EQ(logind.lastInhibitArguments().front(), "sleep:shutdown");
}

TEST(KeepAwake, WithoutLogindTheHoldSaysWhyAndNothingFails)
{
    {
        PrivateLogind busWithoutLogind(false);
        ASSERT_TRUE(busWithoutLogind.started());
        const platform::KeepAwake hold(kReason, 0);
        EXPECT_TRUE(hold.problem().contains("no inhibitor lock from logind")) << hold.problem().toStdString();
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/lumaro-no-bus");
    const platform::KeepAwake hold(kReason, 0);
    EXPECT_TRUE(hold.problem().startsWith("no system bus")) << hold.problem().toStdString();
    qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
