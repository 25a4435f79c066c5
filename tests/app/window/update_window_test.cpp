// The update from the window: a click on the ready screen runs the job against the simulated
// controller to the done screen, and closing the window stops a running job.
#include "window_fixture.h"

#include "app/window/message_boxes.h"

#include "jobs/drive_survey.h"
#include "jobs/learned_disks.h"
#include "jobs/update_job.h"
#include "link/job_busy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
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
    // The lid's note, then what was checked of the files' signatures: the delivered files are unsigned.
    EXPECT_TRUE(log.startsWith("Keep a laptop's lid open until the update has ended.\n"
                               "Signatures: firmware: unsigned; image data: unsigned\nGet Update Disk String.."))
        << log.toStdString();
    EXPECT_TRUE(log.contains("Start to clear image data .... \nErase flash finish !")) << log.toStdString();
    saveScreenshot(*form, "done_screen");

    EXPECT_TRUE(waitUntil([] { return !jobBusy; }, 2000));
    EXPECT_TRUE(child<QPushButton>(*form, "EraseBtn")->isEnabled());
    EXPECT_FALSE(child<QTimer>(*form, "RunTimer")->isActive());
}

// A PC that has never seen this model's update disk asks before writing to it, and learns it from
// the update that is then done; a stick put in the disk's place while the question waits is not
// written, whatever the answer.
TEST_F(UpdateFromTheWindow, AnUnknownDiskIsWrittenOnlyAsConfirmedAndWhileItIsStillThatDisk)
{
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "a stick swapped in" : "confirmed");
        startSim({"--controller", kQuickController + ",port=1-4,disk-letter=F", "--stick", "S,unplugged,letter=F,port=1-4"});
        sim->forgetUpdateDisks();
        // Yes to the question about the disk; No to any later offer to finish on the stick.
        setQuestionSink([&](const QString&, const QString& text) {
            questions.push_back(text);
            if (swapped && questions.size() == 1) {
                EXPECT_EQ(sim->control("unplug ctl"), "ok");
                EXPECT_EQ(sim->control("plug S"), "ok");
            }
            return questions.size() == 1;
        });
        questions.clear();
        auto form = startForm();
        form->jobWaitHook = [](int ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
            return true;
        };
        QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == (swapped ? "Update" : "OK") && !jobBusy; }, 15000));
        ASSERT_FALSE(questions.empty());
        EXPECT_TRUE(questions[0].startsWith("Is drive F: (")) << questions[0].toStdString();
        EXPECT_TRUE(questions[0].contains("files: firmware.bin")) << questions[0].toStdString();
        const QString log = form->findChild<QPlainTextEdit*>("FWUpdate_Memo")->toPlainText();
        if (swapped) {
            EXPECT_TRUE(log.contains("is not the drive it was a moment ago")) << log.toStdString();
            EXPECT_FALSE(QFile::exists(QString::fromStdString(sim->busDir() + "/drives/F/Upfirmware.bin")));
        } else {
            EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
            EXPECT_EQ(learnedUpdateDiskModel("VID_1FC9&PID_0003"), "USB\\VID_1FC9&PID_0114");
        }
        form.reset();
        sim.reset();
    }
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

// A program that dies after the bootloader switch leaves the controller in its bootloader, showing
// its update disk, and the job's marker. Here the first window's job is abandoned during the wait
// after the switch and what it recorded then replaced by its marker, as a killed program would
// have left it (the real kill is in the jobs' tests).
class StrandedUpdate : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        questionAnswer = true;
    }
    QStringList recordFiles(const QString& pattern) const
    {
        return QDir(appDir.filePath("Record")).entryList({pattern}, QDir::Files);
    }
    QString history() const
    {
        QFile file(appDir.filePath("Record/UpdateHistory.csv"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    void leaveControllerInItsBootloader()
    {
        startSim({"--controller", kQuickController});
        QByteArray leftBehind;
        QString markerName;
        {
            auto form = startForm();
            form->jobWaitHook = [&](int ms) {
                if (ms != kBootloaderWaitMs) return true;
                const QStringList markers = recordFiles("UpdateHistory.*.running");
                if (markers.size() != 1) return false;
                markerName = markers[0];
                QFile marker(appDir.filePath("Record/" + markerName));
                if (marker.open(QIODevice::ReadOnly)) leftBehind = marker.readAll();
                return false;
            };
            QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
            ASSERT_TRUE(waitUntil([&] { return !leftBehind.isEmpty(); }, 10000));
        }
        ASSERT_TRUE(sim->waitForEvent("ctl", "disk-shown"));
        // A killed program writes no row and strands nothing itself.
        QFile::remove(appDir.filePath("Record/UpdateHistory.csv"));
        for (const QString& stranded : recordFiles("UpdateHistory.*.stranded"))
            QFile::remove(appDir.filePath("Record/" + stranded));
        QFile marker(appDir.filePath("Record/" + markerName));
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        marker.write(leftBehind);
        jobBusy = false;  // a new program starts with no job
    }
    static bool quickly(int ms)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms / 40));
        return true;
    }

};

TEST_F(StrandedUpdate, YesAtTheNextStartPutsTheFirmwareOnTheDiskAndStopsIt)
{
    leaveControllerInItsBootloader();
    auto form = startForm();
    form->jobWaitHook = quickly;
    ASSERT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "OK"; }, 10000))
        << form->findChild<QPlainTextEdit*>("FWUpdate_Memo")->toPlainText().toStdString();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].startsWith("The update of ")) << questions[0].toStdString();
    EXPECT_TRUE(questions[0].contains(" was interrupted. Its update disk is drive F: (")) << questions[0].toStdString();
    EXPECT_TRUE(questions[0].endsWith("Finish it now?")) << questions[0].toStdString();
    EXPECT_TRUE(sim->waitForEvent("ctl", "firmware-updated"));
    EXPECT_TRUE(sim->waitForEvent("ctl", "disk-stopped"));
    EXPECT_TRUE(history().contains(",interrupted,bootloader switch,")) << history().toStdString();
    EXPECT_TRUE(history().contains(",done,finished after an interruption,")) << history().toStdString();
    const QString systemLog = form->findChild<QPlainTextEdit*>("System_Memo")->toPlainText();
    EXPECT_TRUE(systemLog.contains("Interrupted -> The program ended during the update")) << systemLog.toStdString();
    EXPECT_TRUE(recordFiles("UpdateHistory.*").filter(QRegularExpression("\\.(stranded|running)$")).isEmpty());
}

TEST_F(StrandedUpdate, NoLeavesTheDiskAsItIsAndSaysWhatToDo)
{
    leaveControllerInItsBootloader();
    questionAnswer = false;
    auto form = startForm();
    ASSERT_TRUE(waitUntil([&] { return !questions.empty(); }, 5000));
    QTest::qWait(1500);  // the timer's next look asks no second time
    EXPECT_EQ(questions.size(), 1u);
    const QString systemLog = form->findChild<QPlainTextEdit*>("System_Memo")->toPlainText();
    EXPECT_TRUE(systemLog.contains("re-plug the controller and update again")) << systemLog.toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(sim->busDir() + "/drives/F/firmware.bin")));
    EXPECT_EQ(recordFiles("UpdateHistory.*.stranded").size(), 1);
}

// Re-plugged, the controller left in its bootloader comes back in its application on the same
// port: nothing is asked, and one row says it came back before its update was finished.
TEST_F(StrandedUpdate, AControllerBackOnItsPortEndsTheStrandedUpdateWithARow)
{
    leaveControllerInItsBootloader();
    ASSERT_EQ(sim->control("unplug ctl"), "ok");
    ASSERT_EQ(sim->control("plug ctl"), "ok");
    auto form = startForm();
    ASSERT_TRUE(waitUntil([&] { return history().contains("came back by itself"); }, 5000)) << history().toStdString();
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(recordFiles("UpdateHistory.*.stranded").isEmpty());
    const QString systemLog = form->findChild<QPlainTextEdit*>("System_Memo")->toPlainText();
    EXPECT_TRUE(systemLog.contains("came back by itself")) << systemLog.toStdString();
}

// An update disk with no marker behind it (the user's own doing, or another tool's) is not offered.
TEST_F(StrandedUpdate, NothingIsOfferedWithoutAMarker)
{
    leaveControllerInItsBootloader();
    for (const QString& marker : recordFiles("UpdateHistory.*.running")) QFile::remove(appDir.filePath("Record/" + marker));
    auto form = startForm();
    QTest::qWait(1500);
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(sim->busDir() + "/drives/F/firmware.bin")));
}

// A record that anyone could have written in a shared history, naming a file outside the
// program's Firmware/ with that file's own hash: nothing is asked, nothing reaches the disk, and the
// system log says why.
TEST_F(StrandedUpdate, ARecordOfAFileOutsideTheProgramIsNeitherOfferedNorFinished)
{
    leaveControllerInItsBootloader();
    const QString outside = appDir.filePath("outside.bin");
    writeAppFile("outside.bin", "another device's firmware");
    const QString sha = QCryptographicHash::hash("another device's firmware", QCryptographicHash::Sha256).toHex();
    for (const QString& name : recordFiles("UpdateHistory.*.running")) {
        QFile marker(appDir.filePath("Record/" + name));
        ASSERT_TRUE(marker.open(QIODevice::ReadWrite));
        const QString text = QString::fromUtf8(marker.readAll())
                                 .replace(QRegularExpression("\nfirmware=[^\n]*"), "\nfirmware=" + outside)
                                 .replace(QRegularExpression("\nfirmwareSha256=[^\n]*"), "\nfirmwareSha256=" + sha);
        marker.resize(0);
        marker.write(text.toUtf8());
    }
    auto form = startForm();
    const auto systemLog = [&] { return form->findChild<QPlainTextEdit*>("System_Memo")->toPlainText(); };
    ASSERT_TRUE(waitUntil([&] { return systemLog().contains("is not one of the program's own files"); }, 5000))
        << systemLog().toStdString();
    QTest::qWait(1500);  // the timer's next look asks nothing either
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(sim->busDir() + "/drives/F/Upfirmware.bin")));
}

// A drive that does not answer (a mapped drive whose server is gone, stood in for by a survey that
// waits to be let go) holds up the look for the stranded update's disk, never the window: its events
// keep flowing from start-up on. Once the drives answer, the finish is offered.
TEST_F(StrandedUpdate, ADriveThatDoesNotAnswerFreezesNotTheWindow)
{
    leaveControllerInItsBootloader();
    questionAnswer = false;
    auto gate = std::make_shared<std::promise<void>>();
    auto form = std::make_unique<TMainForm>(appDir.path() + '/');
    form->setDriveSurvey([open = gate->get_future().share()](const StrandedUpdates& stranded) {
        open.wait();
        return surveyDrives(stranded);
    });
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(20);
    form->show();
    QTest::qWait(3500);  // start-up's look and three of the timer's
    EXPECT_FALSE(form->startupPending());
    EXPECT_LT(longestGap, 1000);
    EXPECT_TRUE(questions.empty());

    gate->set_value();
    ASSERT_TRUE(waitUntil([&] { return !questions.empty(); }, 5000));
    EXPECT_TRUE(questions[0].contains(" was interrupted. Its update disk is drive F: (")) << questions[0].toStdString();
}

}  // namespace
