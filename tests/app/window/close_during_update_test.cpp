// A close of the window during an update: while image data is sent or the update disk awaited, the
// user is asked first, No keeps the window and the job, Yes closes; once the firmware is copied the
// close waits for the job's end; at rest, after the done screen and in the failed screen the window
// closes without a question.
#include "window_fixture.h"

#include "app/window/message_boxes.h"

#include "jobs/update_job.h"
#include "link/job_busy.h"

#include <QPlainTextEdit>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

const std::string kQuickController = "ctl,id=" + kController + ",disk-ms=20";
const QString kQuestion = QStringLiteral(
    "An update is running. Closing now can leave the controller unusable until it is updated again. Close anyway?");

class CloseDuringUpdate : public WindowTest {
protected:
    HeldJobWait job;
};

TEST_F(CloseDuringUpdate, ACloseWhileImageDataIsSentAsksAndNoKeepsTheWindowAndTheJob)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    // Held just after the image data's start request, the first record not yet sent.
    job.installOn(*form, kAfterStartWaitMs);
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return job.held && child<QWidget>(*form, "ProgressBarValue")->width() == 40; }));

    EXPECT_FALSE(form->close());
    EXPECT_EQ(questions, std::vector<QString>{kQuestion});
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(jobBusy);

    // The job goes on to its end, and a close then needs no answer.
    job.release = true;
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }, 10000))
        << child<QPlainTextEdit>(*form, "FWUpdate_Memo")->toPlainText().toStdString();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(questions.size(), 1u);
}

TEST_F(CloseDuringUpdate, ACloseWhileTheUpdateDiskIsAwaitedClosesOnYes)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    job.installOn(*form, kBootloaderWaitMs);
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return job.held && child<QWidget>(*form, "ProgressBarValue")->width() == 365; }));

    questionAnswer = true;
    EXPECT_TRUE(form->close());
    EXPECT_EQ(questions, std::vector<QString>{kQuestion});
    EXPECT_FALSE(form->isVisible());
    // As before: the window's end stops the job.
    form.reset();
    EXPECT_FALSE(jobBusy);
}

#ifndef _WIN32
// The stop is not cut short: the window shows how it ended, then closes by itself.
TEST_F(CloseDuringUpdate, ACloseDuringTheDiskStopWaitsForTheJobsEndAndThenCloses)
{
    namespace fs = std::filesystem;
    startSim({"--controller", kQuickController});
    const fs::path bus = sim->busDir(), started = bus / "stop-started";
    fs::copy_file(bus / "tools/S2", bus / "S2.original");
    std::ofstream(bus / "tools/S2", std::ios::trunc)
        << "#!/bin/sh\ntouch '" << started.string() << "'; sleep 1; exec '" << (bus / "S2.original").string() << "' \"$@\"\n";
    auto form = startForm();
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(started); }, 15000));

    EXPECT_FALSE(form->close());
    EXPECT_TRUE(questions.empty());
    ASSERT_TRUE(waitUntil([&] { return !form->isVisible(); }, 10000));
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "OK");
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
}
#endif

TEST_F(CloseDuringUpdate, AtRestAndAfterAFailedUpdateTheWindowClosesWithoutAQuestion)
{
    startSim({"--controller", kQuickController + ",disk=none"});
    auto form = startForm();
    EXPECT_TRUE(form->close());

    // The failed screen during the job's last wait, the progress where it stopped: nothing more
    // is to be lost.
    form->show();
    job.installOn(*form, kFinishWaitMs);
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return job.held && shown(*form, "ErrorImg"); }, 10000));
    EXPECT_EQ(child<QWidget>(*form, "ProgressBarValue")->width(), 375);
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(questions.empty());
}

}  // namespace
