// The computer kept awake for each device job's length, against the stand-in logind the window
// tests run with: the lock is taken as the job starts and released when its thread has ended,
// whether it ended done, failed or stopped by the window's end; without logind the update log
// says once that the PC may sleep, and the jobs go on; an update's log says to keep the lid open.
#include "window_fixture.h"

#include "jobs/update_job.h"
#include "link/job_busy.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

const std::string kQuickController = "ctl,id=" + kController + ",disk-ms=20";
const QString kKeepLidOpen = QStringLiteral("Keep a laptop's lid open until the update has ended.");

class KeepAwakeDuringJobs : public WindowTest {
protected:
    void startUpdateHeldAt(TMainForm& form, int heldWaitMs)
    {
        job.installOn(form, heldWaitMs);
        QTest::mouseClick(child<QLabel>(form, "UpBtnLabel"), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return job.held.load(); }, 10000));
    }

    HeldJobWait job;
};

TEST_F(KeepAwakeDuringJobs, AnUpdateThatEndsDoneHoldsTheLockUntilItsThreadHasEnded)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    startUpdateHeldAt(*form, kFinishWaitMs);  // the done screen shows, the job's last wait not over
    EXPECT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }));
    // No program can hold a closing lid on Windows: the update's log says to keep it open.
    EXPECT_EQ(child<QPlainTextEdit>(*form, "FWUpdate_Memo")->toPlainText().split('\n').filter(kKeepLidOpen).size(), 1);
    EXPECT_EQ(logind->lastInhibitArguments(),
              (QStringList{"sleep:shutdown:handle-lid-switch", QCoreApplication::applicationName(),
                           "Updating the controller", "block"}));
    EXPECT_EQ(logind->locksHeld(), 1);
    job.release = true;
    EXPECT_TRUE(logind->waitForLocksHeld(0));
    EXPECT_EQ(logind->inhibitCalls(), 1);
}

TEST_F(KeepAwakeDuringJobs, AnUpdateThatFailsReleasesTheLockWhenItsThreadHasEnded)
{
    startSim({"--controller", kQuickController + ",disk=none"});
    auto form = startForm();
    startUpdateHeldAt(*form, kFinishWaitMs);
    EXPECT_TRUE(waitUntil([&] { return shown(*form, "ErrorImg"); }));
    EXPECT_EQ(logind->locksHeld(), 1);
    job.release = true;
    EXPECT_TRUE(logind->waitForLocksHeld(0));
}

TEST_F(KeepAwakeDuringJobs, TheWindowsEndStopsTheUpdateAndReleasesTheLock)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    startUpdateHeldAt(*form, kBootloaderWaitMs);
    EXPECT_EQ(logind->locksHeld(), 1);
    form.reset();
    EXPECT_FALSE(jobBusy);
    EXPECT_TRUE(logind->waitForLocksHeld(0));
}

TEST_F(KeepAwakeDuringJobs, EraseAndResetJobsHoldTheLockForTheirLengthToo)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    auto* erase = child<QPushButton>(*form, "EraseBtn");
    erase->click();
    EXPECT_EQ(logind->inhibitCalls(), 1);
    ASSERT_TRUE(waitUntil([&] { return erase->isEnabled() && logind->locksHeld() == 0; }));

    // Reset_DevBtn is shown for boot boards only; its job ends at once for a controller.
    auto* reset = child<QPushButton>(*form, "Reset_DevBtn");
    reset->click();
    EXPECT_EQ(logind->inhibitCalls(), 2);
    EXPECT_TRUE(waitUntil([&] { return reset->isEnabled() && logind->locksHeld() == 0; }));
}

TEST_F(KeepAwakeDuringJobs, WithoutLogindTheUpdateLogSaysOnceThatThePcMaySleepAndTheJobsGoOn)
{
    logind.emplace(false);
    ASSERT_TRUE(logind->started());
    startSim({"--controller", kQuickController});
    auto form = startForm();
    auto* erase = child<QPushButton>(*form, "EraseBtn");
    for (int erased = 0; erased < 2; ++erased) {
        erase->click();
        ASSERT_TRUE(waitUntil([&] { return erase->isEnabled(); }));
    }
    const QStringList log = child<QPlainTextEdit>(*form, "FWUpdate_Memo")->toPlainText().split('\n');
    EXPECT_EQ(log.filter("Warning -> The PC may sleep while the job runs: no inhibitor lock from logind").size(), 1)
        << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("Erase image flash OK").size(), 2) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter(kKeepLidOpen).size(), 0) << "an erase takes seconds";
}

}  // namespace
