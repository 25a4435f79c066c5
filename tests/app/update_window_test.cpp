// The update from the window: a click on the ready screen runs the job against the simulated
// controller to the done screen, and closing the window stops a running job.
#include "window_fixture.h"

#include "link/job_busy.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

using UpdateFromTheWindow = WindowTest;

const std::string kQuickController = "ctl,id=" + kController + ",disk-ms=20";

TEST_F(UpdateFromTheWindow, AClickOnTheReadyScreenEndsInTheDoneScreen)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    // The fixed waits shortened forty-fold: still long enough for the simulated disk to appear.
    form->jobWaitHook = [](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
        return true;
    };
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }, 10000))
        << form->findChild<QPlainTextEdit*>("FWUpdate_Memo")->toPlainText().toStdString();
    waitUntil([&] { return child<QWidget>(*form, "ProgressBarValue")->width() == 401; }, 1000);
    EXPECT_EQ(child<QWidget>(*form, "ProgressBarValue")->width(), 401);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "BarOK.bmp");
    EXPECT_TRUE(shown(*form, "CompleteLabel"));
    EXPECT_TRUE(shown(*form, "CompleteImg"));
    EXPECT_EQ(caption(*form, "CompleteLabel"), "Update Complete ! You can remove Lumaro Controller from PC now.");
    EXPECT_FALSE(shown(*form, "ProgressBarImg"));
    EXPECT_FALSE(shown(*form, "ErrorImg"));
    const QString log = form->findChild<QPlainTextEdit*>("FWUpdate_Memo")->toPlainText();
    EXPECT_TRUE(log.startsWith("Get Update Disk String..")) << log.toStdString();
    EXPECT_TRUE(log.contains("Start to clear image data .... \nErase flash finish !")) << log.toStdString();
    saveScreenshot(*form, "done_screen");

    EXPECT_TRUE(waitUntil([] { return !jobBusy; }, 2000));
    EXPECT_TRUE(child<QPushButton>(*form, "EraseBtn")->isEnabled());
    EXPECT_FALSE(child<QTimer>(*form, "RunTimer")->isActive());
}

TEST_F(UpdateFromTheWindow, ClosingTheWindowStopsARunningJob)
{
    startSim({"--controller", kQuickController});
    auto form = startForm();
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    // The job now waits its real 8 seconds for the update disk.
    ASSERT_TRUE(waitUntil([&] { return child<QWidget>(*form, "ProgressBarValue")->width() == 365; }, 5000));
    QElapsedTimer closing;
    closing.start();
    form.reset();
    EXPECT_LT(closing.elapsed(), 1000);
    EXPECT_FALSE(jobBusy);
}

}  // namespace
