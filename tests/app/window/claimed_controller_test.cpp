// One controller, one job, between the window and lumaro-update: whichever started first keeps the
// controller, the other erases and writes nothing and names it (program and process id), and the
// first ends done with all its image data. And the window started after a killed lumaro-update
// finishes the update it left.
#include "window_fixture.h"

#include "jobs/update_job.h"
#include "link/job_busy.h"

#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int kRecordBytes = 54;

class ClaimedController : public WindowTest {
protected:
    // lumaro-update in the window's program folder, reading DevInfo.DAT from the working folder.
    void startUpdateProgram()
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(LUMARO_UPDATE_PATH), appDir.filePath("lumaro-update")));
        updateProgram.setWorkingDirectory(workDir.path());
        updateProgram.start(appDir.filePath("lumaro-update"), {"--json"});
        ASSERT_TRUE(updateProgram.waitForStarted(5000));
    }
    int imageErasures() const
    {
        int count = 0;
        for (const auto& record : sim->records()) count += record.device == "ctl" && record.event == "image-erased";
        return count;
    }
    QProcess updateProgram;
};

TEST_F(ClaimedController, WhileLumaroUpdateSendsImageDataTheWindowsButtonsTouchNothing)
{
    QByteArray image(1500 * kRecordBytes, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + i / kRecordBytes);
    writeAppFile("Firmware/Tessaray_IMG_1.0.3.bin", image);
    startSim({"--controller", "ctl,id=" + kController + ",disk-ms=20,erase-ms=20,timing=full-speed"});
    auto form = startForm();
    startUpdateProgram();
    ASSERT_TRUE(sim->waitForEvent("ctl", "image-start", 1, std::chrono::seconds(10)));

    const QString named = QStringLiteral("Another program is updating this controller: lumaro-update, process %1. Nothing "
                                         "was written to it: try again once that program has finished.")
                              .arg(updateProgram.processId());
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    child<QPushButton>(*form, "EraseBtn")->click();
    ASSERT_EQ(boxes.size(), 2u);
    for (const MessageBox& box : boxes) EXPECT_EQ(box.text, named);
    EXPECT_NE(caption(*form, "UpBtnLabel"), "Updating");
    EXPECT_FALSE(jobBusy);

    ASSERT_TRUE(updateProgram.waitForFinished(60000));
    EXPECT_EQ(updateProgram.exitCode(), 0) << updateProgram.readAllStandardError().toStdString();
    EXPECT_TRUE(updateProgram.readAllStandardOutput().contains("\"result\":\"done\""));
    EXPECT_EQ(imageErasures(), 1);
    std::vector<std::uint8_t> sent(image.begin(), image.end());
    sent.resize((sent.size() / kRecordBytes + 1) * kRecordBytes, 0);  // and one record of zeros past the file
    EXPECT_EQ(sim->imageData("ctl"), sent);
}

TEST_F(ClaimedController, WhileTheWindowUpdatesLumaroUpdateTouchesNothingAndEndsWithItsCode)
{
    startSim({"--controller", "ctl,id=" + kController + ",disk-ms=20,erase-ms=20"});
    auto form = startForm();
    HeldJobWait job;
    job.installOn(*form, kAfterStartWaitMs);  // held after the image data's start request
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return job.held.load(); }));

    startUpdateProgram();
    ASSERT_TRUE(updateProgram.waitForFinished(20000));
    EXPECT_EQ(updateProgram.exitCode(), 4);
    const QString errors = QString::fromUtf8(updateProgram.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("another program is updating it (%1, process %2)")
                                    .arg(QCoreApplication::applicationName())
                                    .arg(QCoreApplication::applicationPid())))
        << errors.toStdString();

    job.release = true;
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }, 10000))
        << child<QPlainTextEdit>(*form, "FWUpdate_Memo")->toPlainText().toStdString();
    EXPECT_EQ(imageErasures(), 1);
}

// Killed while it waits for the controller's disk, lumaro-update leaves the controller in its
// bootloader and its job's marker; the window, started next, offers to finish that update and does.
TEST_F(ClaimedController, TheWindowStartedNextFinishesWhatAKilledLumaroUpdateLeft)
{
    QDir(appDir.path()).mkpath("Record");  // both keep the history there
    startSim({"--controller", "ctl,id=" + kController + ",disk-ms=300,erase-ms=20"});
    startUpdateProgram();
    ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown", 1, std::chrono::seconds(15)));
    updateProgram.kill();
    ASSERT_TRUE(updateProgram.waitForFinished(5000));

    questionAnswer = true;
    auto form = startForm();
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }, 30000))
        << child<QPlainTextEdit>(*form, "FWUpdate_Memo")->toPlainText().toStdString();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].endsWith("Finish it now?")) << questions[0].toStdString();
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    EXPECT_EQ(imageErasures(), 1);
    QFile history(appDir.filePath("Record/UpdateHistory.csv"));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    const QString rows = QString::fromUtf8(history.readAll());
    EXPECT_TRUE(rows.contains(",interrupted,")) << rows.toStdString();
    EXPECT_TRUE(rows.contains(",done,finished after an interruption,")) << rows.toStdString();
    EXPECT_TRUE(QDir(appDir.filePath("Record")).entryList({"*.running", "*.stranded"}, QDir::Files).isEmpty());
}

}  // namespace
