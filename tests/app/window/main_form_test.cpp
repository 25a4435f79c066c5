// The window against the simulator: detection at start-up and on plug and unplug, the screens it
// leads to, the big button's hover and click rules, start-up's data-file rules and the message log.
#include "window_fixture.h"

#include "app/window/imageex.h"
#include "datafiles/page_settings.h"

#include "link/job_busy.h"
#include "link/usb.h"

#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <set>
#include <thread>

namespace {

const std::string kPluggedController = "ctl,id=" + kController;

void enter(QWidget* widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(widget, &event);
}

void leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

QStringList lines(const TMainForm& form, const char* memo)
{
    const QString text = form.findChild<QPlainTextEdit*>(QString::fromLatin1(memo))->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

using Detection = WindowTest;

TEST_F(Detection, ControllerPresentAtStartShowsTheReadyScreen)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(picture(*form, "BKImg"), "devFound.bmp");
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Update");
    EXPECT_EQ(caption(*form, "FWLABEL"), "1.0.3");
    EXPECT_EQ(caption(*form, "OpDevName"), "Tessaray TC-100");
    EXPECT_EQ(caption(*form, "UpdateHint"), "Your device will update to the latest software version");
    EXPECT_FALSE(shown(*form, "WarIcon"));
    EXPECT_FALSE(shown(*form, "ProgressBarImg"));
    EXPECT_FALSE(shown(*form, "CompleteLabel"));
    EXPECT_FALSE(shown(*form, "ErrorImg"));
    EXPECT_FALSE(shown(*form, "Reset_DevBtn"));
    EXPECT_TRUE(child<QPushButton>(*form, "Start_Update_Btn")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*form, "Temp_Start_Btn")->isEnabled());
    EXPECT_EQ(caption(*form, "HexPathShow"), appDir.path() + "/Firmware/Tessaray_FW_1.0.3.bin");
    EXPECT_EQ(caption(*form, "BinPathShow"), appDir.path() + "/Firmware/Tessaray_IMG_1.0.3.bin");
    EXPECT_EQ(form->currentVidPid, "VID_1FC9&PID_0003");
    EXPECT_TRUE(controllerLink().writeHandle.isOpen());
    EXPECT_TRUE(controllerLink().readHandle.isOpen());
    // A one-array model hides the second readout.
    EXPECT_FALSE(shown(*form, "Array2Temp_Label"));
    EXPECT_FALSE(shown(*form, "Array2Temp_Show"));
    EXPECT_EQ(lines(*form, "System_Memo"), (QStringList{"GetDevInfo ok !", "Found USB device"}));
    saveScreenshot(*form, "ready_screen");
}

TEST_F(Detection, NoControllerShowsTheNoDeviceScreenAndPlugAndUnplugSwitchIt)
{
    startSim({"--controller", kPluggedController + ",unplugged"});
    auto form = startForm();
    EXPECT_EQ(picture(*form, "BKImg"), "devNotFound.bmp");
    EXPECT_EQ(picture(*form, "StartBtnImg"), "NotPress.bmp");
    EXPECT_EQ(caption(*form, "FWLABEL"), "Device Not Found");
    EXPECT_EQ(caption(*form, "OpDevName"), "No control device .");
    EXPECT_EQ(caption(*form, "UpdateHint"), "Please plug Lumaro Controller to USB port of your PC");
    EXPECT_TRUE(shown(*form, "WarIcon"));
    EXPECT_FALSE(child<QPushButton>(*form, "Start_Update_Btn")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*form, "Temp_Start_Btn")->isEnabled());
    EXPECT_FALSE(child<QComboBox>(*form, "TimeIn")->isEnabled());
    saveScreenshot(*form, "no_device_screen");

    ASSERT_EQ(sim->control("plug ctl"), "ok");
    EXPECT_TRUE(waitUntil([&] { return caption(*form, "FWLABEL") == "1.0.3"; }));
    EXPECT_EQ(picture(*form, "BKImg"), "devFound.bmp");
    EXPECT_TRUE(child<QPushButton>(*form, "Temp_Start_Btn")->isEnabled());

    ASSERT_EQ(sim->control("unplug ctl"), "ok");
    EXPECT_TRUE(waitUntil([&] { return caption(*form, "FWLABEL") == "Device Not Found"; }));
    EXPECT_EQ(picture(*form, "BKImg"), "devNotFound.bmp");
    // The model found last stays the current one.
    EXPECT_EQ(form->currentVidPid, "VID_1FC9&PID_0003");
}

TEST_F(Detection, EventsAreIgnoredWhileAJobRuns)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    jobBusy = true;
    ASSERT_EQ(sim->control("unplug ctl"), "ok");
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(caption(*form, "FWLABEL"), "1.0.3");
    jobBusy = false;
}

TEST_F(Detection, FirstRowInFileOrderWinsAndLowerCaseIdsMatch)
{
    writeWorkFile("DevInfo.DAT", devInfoRow("Two arrays", "VID_1FC9&PID_0004", 2, "lpc1764") +
                                     devInfoRow("Boot board", "VID_04D8&PID_003C", 2, "47j53"));
    startSim({"--controller", "a,id=hid\\vid_04d8&pid_003c&rev_0002", "--controller",
              "b,id=HID\\VID_1FC9&PID_0004&REV_0100"});
    auto form = startForm();
    EXPECT_EQ(form->currentModel, 0);
    EXPECT_EQ(caption(*form, "OpDevName"), "Two arrays");
    EXPECT_TRUE(shown(*form, "Array2Temp_Label"));
    EXPECT_TRUE(shown(*form, "Array2Temp_Show"));
    EXPECT_FALSE(shown(*form, "Reset_DevBtn"));

    // With the first model gone, the lower-case identity of the second is still found.
    ASSERT_EQ(sim->control("unplug b"), "ok");
    EXPECT_TRUE(waitUntil([&] { return form->currentModel == 1; }));
    EXPECT_EQ(caption(*form, "OpDevName"), "Boot board");
    EXPECT_TRUE(shown(*form, "Reset_DevBtn"));
    EXPECT_EQ(form->currentVidPid, "VID_04D8&PID_003C");
}

TEST_F(Detection, AnEventDuringTheFirmwareScanIsDetectedAfterIt)
{
    for (int i = 0; i < 20; ++i) writeAppFile(QString("Firmware/Old%1_FW_0.0.%1.bin").arg(i));
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    // The controller leaves while the scan of its arrival lets events run.
    QTimer::singleShot(0, [&] {
        sim->control("unplug ctl");
        form->WMDeviceChange(kDeviceRemoveComplete);
    });
    form->WMDeviceChange(kDeviceArrival);
    EXPECT_EQ(caption(*form, "FWLABEL"), "Device Not Found");
    EXPECT_EQ(picture(*form, "BKImg"), "devNotFound.bmp");
    EXPECT_FALSE(child<QPushButton>(*form, "Start_Update_Btn")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*form, "Temp_Start_Btn")->isEnabled());
}

using ButtonRules = WindowTest;

TEST_F(ButtonRules, NoDeviceScreenIgnoresHoverAndClick)
{
    startSim({"--controller", kPluggedController + ",unplugged"});
    auto form = startForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    auto* label = child<QLabel>(*form, "UpBtnLabel");
    enter(face);
    enter(label);
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::mouseClick(face, Qt::LeftButton);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "NotPress.bmp");
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Update");
}

TEST_F(ButtonRules, ReadyScreenHoversAndAClickStartsTheUpdate)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    auto* label = child<QLabel>(*form, "UpBtnLabel");
    enter(face);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "MousetoHere.bmp");
    leave(face);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
    enter(label);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "MousetoHere.bmp");
    leave(label);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");

    // No hover look while a job runs.
    jobBusy = true;
    enter(face);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
    jobBusy = false;

    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Updating");
    EXPECT_EQ(picture(*form, "StartBtnImg"), "BarPresed.bmp");
    EXPECT_EQ(caption(*form, "RunTimeShow"), "0:0");
    EXPECT_TRUE(shown(*form, "ProgressBarImg"));
    EXPECT_TRUE(shown(*form, "ProgressBarValue"));
    EXPECT_EQ(child<QWidget>(*form, "ProgressBarValue")->width(), 0);
    EXPECT_FALSE(child<QPushButton>(*form, "EraseBtn")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*form, "Reset_DevBtn")->isEnabled());
    EXPECT_EQ(form->firmwarePath, appDir.path() + "/Firmware/Tessaray_FW_1.0.3.bin");
    EXPECT_EQ(form->imagePath, appDir.path() + "/Firmware/Tessaray_IMG_1.0.3.bin");
    EXPECT_TRUE(child<QTimer>(*form, "RunTimer")->isActive());

    // A second click while updating changes nothing.
    QTest::mouseClick(face, Qt::LeftButton);
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Updating");
}

TEST_F(ButtonRules, AClickWhileAJobRunsStopsItInsteadOfStartingOne)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    jobBusy = true;
    QTest::mouseClick(child<TImageEx>(*form, "StartBtnImg"), Qt::LeftButton);
    EXPECT_FALSE(jobBusy);
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Updating");
    EXPECT_TRUE(child<QPushButton>(*form, "EraseBtn")->isEnabled());
    EXPECT_TRUE(form->firmwarePath.isEmpty());
}

TEST_F(ButtonRules, FailedScreenKeepsTheFaceExceptOnLeavingTheCaption)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    auto* label = child<QLabel>(*form, "UpBtnLabel");
    face->loadFromFile(appDir.filePath("img/NotPress.bmp"));
    child<QWidget>(*form, "ErrorImg")->show();
    child<QWidget>(*form, "ErrorLabel")->show();

    enter(face);
    leave(face);
    enter(label);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "NotPress.bmp");
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Update");
    leave(label);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
}

TEST_F(ButtonRules, DoneScreenIgnoresHoverAndAClickEndsTheProgram)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    auto* face = child<TImageEx>(*form, "StartBtnImg");
    face->loadFromFile(appDir.filePath("img/BarOK.bmp"));
    child<QLabel>(*form, "UpBtnLabel")->setText("OK");
    enter(face);
    leave(face);
    EXPECT_EQ(picture(*form, "StartBtnImg"), "BarOK.bmp");
    ASSERT_TRUE(form->isVisible());
    QTest::mouseClick(face, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ButtonRules, DeviceEventAfterTheDoneScreenBringsBackTheReadyScreen)
{
    startSim({"--controller", kPluggedController, "--controller", "other,id=HID\\VID_046D&PID_C077&REV_0100"});
    auto form = startForm();
    child<QLabel>(*form, "UpBtnLabel")->setText("OK");
    child<QWidget>(*form, "CompleteLabel")->show();
    ASSERT_EQ(sim->control("unplug other"), "ok");
    EXPECT_TRUE(waitUntil([&] { return caption(*form, "UpBtnLabel") == "Update"; }));
    EXPECT_FALSE(shown(*form, "CompleteLabel"));
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
}

TEST_F(ButtonRules, AnErrorInAHandlerIsShownAndTheProgramGoesOn)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    QFile::remove(appDir.filePath("img/MousetoHere.bmp"));
    enter(child<TImageEx>(*form, "StartBtnImg"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("img/MousetoHere.bmp"));
    EXPECT_EQ(picture(*form, "StartBtnImg"), "CanPress.bmp");
    QTest::mouseClick(child<QLabel>(*form, "UpBtnLabel"), Qt::LeftButton);
    EXPECT_EQ(caption(*form, "UpBtnLabel"), "Updating");
}

using StartUp = WindowTest;

TEST_F(StartUp, MissingDataFilesEndTheProgram)
{
    startSim({"--controller", kPluggedController});
    QFile::remove(workDir.filePath("Page.DAT"));
    {
        auto form = startForm();
        EXPECT_TRUE(form->startupAborted());
    }
    QFile::remove(workDir.filePath("DevInfo.DAT"));
    auto form = startForm();
    EXPECT_TRUE(form->startupAborted());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Some important file lose ! - msg(02)");
    EXPECT_EQ(boxes[1].text, "Some important file lose ! - msg(01)");
}

TEST_F(StartUp, DataFilesComeFromTheWorkingDirectoryAndPicturesFromTheProgramFolder)
{
    startSim({"--controller", kPluggedController});
    // Data files beside the program are not the ones read.
    writeAppFile("DevInfo.DAT", "broken");
    auto form = startForm();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(caption(*form, "OpDevName"), "Tessaray TC-100");
    EXPECT_TRUE(QDir(appDir.filePath("Record")).exists());
    EXPECT_EQ(picture(*form, "WarIcon"), "War_devNotFound.bmp");
}

// Started from another folder (a console, a script, a launcher that sets none): the working
// directory has no data files, and those beside the program are read, each on its own.
TEST_F(StartUp, DataFilesMissingFromTheWorkingDirectoryAreReadFromBesideTheProgram)
{
    startSim({"--controller", kPluggedController});
    QFile shipped(workDir.filePath("DevInfo.DAT"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    writeAppFile("DevInfo.DAT", shipped.readAll());
    shipped.close();
    writeAppFile("Page.DAT", "UpdateFW=1\nTempTest=1\n");
    ASSERT_TRUE(QFile::remove(workDir.filePath("DevInfo.DAT")) && QFile::remove(workDir.filePath("Page.DAT")));
    {
        auto form = startForm();
        EXPECT_FALSE(form->startupAborted());
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(caption(*form, "OpDevName"), "Tessaray TC-100");
        EXPECT_EQ(child<QTabWidget>(*form, "PageControl1")->currentIndex(), kRecorderPage) << "Page.DAT beside the program";
    }
    // The working directory's file still comes first where it has one.
    writeWorkFile("Page.DAT", "UpdateFW=1\nTempTest=0\n");
    auto form = startForm();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(child<QTabWidget>(*form, "PageControl1")->currentIndex(), kUpdatePage);
}

TEST_F(StartUp, ABadModelRowIsReportedAndTheDesignStays)
{
    startSim({"--controller", kPluggedController});
    writeWorkFile("DevInfo.DAT", devInfoRow("Good", "VID_1FC9&PID_0003", 1, "LPC1764") + "Bad row\n");
    auto form = startForm();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "'' is not a valid integer value");
    EXPECT_FALSE(form->startupAborted());
    EXPECT_EQ(caption(*form, "FWLABEL"), "102");
    EXPECT_EQ(caption(*form, "OpDevName"), "No control device .");
}

// DevInfo.DAT is 8-bit text: the box shows the character the file holds, not a replacement mark.
TEST_F(StartUp, ABadModelRowIsQuotedAsTheFileSpellsIt)
{
    startSim({"--controller", kPluggedController});
    std::string row = devInfoRow("Good", "VID_1FC9&PID_0003", 1, "LPC1764");
    row[53] = '\xB2';  // a superscript two where the array count belongs
    writeWorkFile("DevInfo.DAT", row);
    auto form = startForm();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("'\u00B2' is not a valid integer value"));
}

TEST_F(StartUp, AMissingPictureIsReportedByName)
{
    startSim({"--controller", kPluggedController});
    QFile::remove(appDir.filePath("img/devFound.bmp"));
    auto form = startForm();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("img/devFound.bmp")) << boxes[0].text.toStdString();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(StartUp, FirmwareScanTakesMarkersInAnyCaseAndKeepsCaptionsWithoutMatch)
{
    startSim({"--controller", kPluggedController});
    QDir(appDir.filePath("Firmware")).removeRecursively();
    writeAppFile("Firmware/notes.txt");
    writeAppFile("Firmware/sub/Deep_FW_9.9.9.bin");
    {
        auto form = startForm();
        EXPECT_EQ(caption(*form, "FWLABEL"), "102");
        EXPECT_EQ(caption(*form, "HexPathShow"), "No file be selected !!!");
        EXPECT_EQ(caption(*form, "BinPathShow"), "No file be selected !!!");
    }
    writeAppFile("Firmware/new_fw_2.1.0a.bin");
    writeAppFile("Firmware/pack_IMG__FW_1.bin");
    auto form = startForm();
    EXPECT_EQ(caption(*form, "FWLABEL"), "2.1.0");
    EXPECT_EQ(caption(*form, "HexPathShow"), appDir.path() + "/Firmware/new_fw_2.1.0a.bin");
    EXPECT_EQ(caption(*form, "BinPathShow"), appDir.path() + "/Firmware/pack_IMG__FW_1.bin");
}

TEST_F(StartUp, LogListShowsWorkbooksWithNamesRelativeToTheRecordFolder)
{
    startSim({"--controller", kPluggedController});
    for (const char* name : {"Record/a_temp.xls", "Record/OLD.XLS", "Record/b.xlsx", "Record/c.bak", "Record/.hidden.xls",
                             "Record/2026/d_temp.xls"})
        writeAppFile(name);
    auto form = startForm();
    auto* list = child<QListWidget>(*form, "LogList");
    std::set<QString> names;
    for (int i = 0; i < list->count(); ++i) names.insert(list->item(i)->text());
    EXPECT_EQ(names, (std::set<QString>{"a_temp.xls", "OLD.XLS", "2026/d_temp.xls"}));
    EXPECT_TRUE(QFile::exists(form->RecordFolder + "2026/d_temp.xls"));
}

TEST_F(StartUp, ArchitectureDecidesTheToolBuild)
{
    startSim({"--controller", kPluggedController});
    for (const auto& [value, is64Bit] : {std::pair{"AMD64", true}, std::pair{"x86", false}, std::pair{"", true}}) {
        qputenv("LUMARO_VBUS_ARCH", value);
        if (*value == 0) qunsetenv("LUMARO_VBUS_ARCH");
        EXPECT_EQ(startForm()->is64BitWindows, is64Bit) << value;
    }
}

using MessageLog = WindowTest;

TEST_F(MessageLog, TheTabsOfPageDatDecideWhereLinesGo)
{
    startSim({"--controller", kPluggedController});
    const struct {
        const char* pageDat;
        int updateLines;
        int systemLines;
    } cases[] = {{"UpdateFW=1\nTempTest=0\n", 1, 2}, {"UpdateFW=1\nTempTest=1\n", 0, 3}, {"UpdateFW=0\nTempTest=0\n", 0, 0}};
    for (const auto& c : cases) {
        writeWorkFile("Page.DAT", c.pageDat);
        auto form = startForm();
        form->AddMessage("job line", 1);
        EXPECT_EQ(lines(*form, "FWUpdate_Memo").size(), c.updateLines) << c.pageDat;
        EXPECT_EQ(lines(*form, "System_Memo").size(), c.systemLines) << c.pageDat;
    }
}

// With the delivered Page.DAT (both tabs) the recorder page is active at start; an engineer who
// opens the update page then sees the job lines there.
TEST_F(MessageLog, LinesFollowThePageActiveWhenTheyAreAdded)
{
    startSim({"--controller", kPluggedController});
    writeWorkFile("Page.DAT", "UpdateFW=1\nTempTest=1\n");
    auto form = startForm();
    auto* pages = child<QTabWidget>(*form, "PageControl1");
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(0).center());
    ASSERT_EQ(pages->currentIndex(), 0);
    form->AddMessage("on the update page", 1);
    pages->setCurrentIndex(1);
    form->AddMessage("on the recorder page", 1);
    EXPECT_EQ(lines(*form, "FWUpdate_Memo"), QStringList{"on the update page"});
    EXPECT_EQ(lines(*form, "System_Memo").back(), "on the recorder page");
}

TEST_F(MessageLog, LinesFromAnotherThreadArriveInOrder)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    std::thread job([&] {
        for (int i = 0; i < 200; ++i) form->AddMessage(QString::number(i), 1);
    });
    job.join();
    EXPECT_TRUE(waitUntil([&] { return lines(*form, "FWUpdate_Memo").size() == 200; }));
    const QStringList got = lines(*form, "FWUpdate_Memo");
    for (int i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], QString::number(i));
}

TEST_F(MessageLog, ALineAddedToAFullLogScrollsItByOneLine)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    auto* memo = child<QPlainTextEdit>(*form, "FWUpdate_Memo");
    child<QTabWidget>(*form, "PageControl1")->setCurrentIndex(0);
    for (int i = 0; i < 30; ++i) form->AddMessage("line", 1);
    memo->verticalScrollBar()->setValue(0);
    form->AddMessage("one more", 1);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 1);
}

}  // namespace
