// The engineering page from the window: the file choice with its filters, clearing the update log,
// the erase and reset buttons with their jobs, and the service view that brings the page into sight.
#include "window_fixture.h"

#include "link/job_busy.h"

#include <QApplication>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

using EngineeringPage = WindowTest;

const std::string kPluggedController = "ctl,id=" + kController + ",erase-ms=20";

// Answers the next file dialog: with a file (after noting its filters), or cancelled when empty.
void answerDialog(const QString& file, QStringList* filtersSeen)
{
    QTimer::singleShot(0, [file, filtersSeen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "OpenDialog");
        if (filtersSeen) *filtersSeen = dialog->nameFilters();
        if (file.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(file);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}

TEST_F(EngineeringPage, FileChoiceSetsThePathsAndACancelChangesNothing)
{
    startSim({"--controller", kPluggedController});
    writeAppFile("Other/Hand_Picked.hex", "firmware");
    writeAppFile("Other/Hand_Picked.bin", "image");
    auto form = startForm();
    const QString scanned = caption(*form, "HexPathShow");

    QStringList filters;
    answerDialog({}, &filters);
    form->Select_FW_BtnClick();
    EXPECT_EQ(filters, (QStringList{"HEX (*.hex)", "BIN (*.bin)"}));
    EXPECT_EQ(caption(*form, "HexPathShow"), scanned);

    answerDialog(appDir.filePath("Other/Hand_Picked.hex"), nullptr);
    form->Select_FW_BtnClick();
    EXPECT_EQ(caption(*form, "HexPathShow"), appDir.filePath("Other/Hand_Picked.hex"));
    EXPECT_EQ(form->firmwarePath, appDir.filePath("Other/Hand_Picked.hex"));

    answerDialog(appDir.filePath("Other/Hand_Picked.bin"), &filters);
    form->Sel_ImageBin_BtnClick();
    EXPECT_EQ(filters, QStringList{"*.bin"});
    EXPECT_EQ(caption(*form, "BinPathShow"), appDir.filePath("Other/Hand_Picked.bin"));
}

TEST_F(EngineeringPage, BootBoardsAreOfferedHexFilesOnly)
{
    writeWorkFile("DevInfo.DAT", devInfoRow("Boot board", "VID_04D8&PID_003C", 2, "47J53"));
    startSim({"--board", "board"});
    auto form = startForm();
    QStringList filters;
    answerDialog({}, &filters);
    form->Select_FW_BtnClick();
    EXPECT_EQ(filters, QStringList{"HEX (*.hex)"});
}

TEST_F(EngineeringPage, EraseRunsOnItsThreadAndGivesTheButtonBackThenTheLogCanBeCleared)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    auto* erase = child<QPushButton>(*form, "EraseBtn");
    auto* memo = child<QPlainTextEdit>(*form, "FWUpdate_Memo");
    erase->click();
    EXPECT_FALSE(erase->isEnabled());
    EXPECT_TRUE(jobBusy);
    // A second job is refused while this one runs.
    child<QPushButton>(*form, "Reset_DevBtn")->click();
    ASSERT_TRUE(waitUntil([&] { return erase->isEnabled(); }));
    EXPECT_FALSE(jobBusy);
    EXPECT_EQ(memo->toPlainText(),
              "Error -> Another device job is running !!\nStart to erase image flash .... \nErase flash finish !\n"
              "Erase image flash OK .... ");
    EXPECT_TRUE(sim->waitForEvent("ctl", "image-erased"));

    child<QPushButton>(*form, "ClearMsgBtn")->click();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
}

// The offscreen screen is 800 pixels wide: the grown window takes that width and the panel scrolls.
TEST_F(EngineeringPage, ServiceViewShowsTheWholePanelOnTheScreenAndGoesBackAsItWas)
{
    startSim({"--controller", kPluggedController});
    auto form = startForm();
    const QSize delivered = form->size();
    const QPoint deliveredAt = form->pos();
    auto* panel = child<QWidget>(*form, "PageControl1");
    auto* strip = child<QScrollArea>(*form, "ServiceStrip");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(form->inServiceView());
    EXPECT_TRUE(form->screen()->availableGeometry().contains(form->frameGeometry())) << form->frameGeometry().x();
    EXPECT_GE(form->height(), panel->geometry().bottom() + 1);
    // Every part of the panel can be brought into sight on the strip.
    EXPECT_EQ(strip->geometry().right(), form->width() - 1);
    EXPECT_GE(strip->viewport()->width() + strip->horizontalScrollBar()->maximum(), panel->geometry().right() + 1);
    EXPECT_TRUE(shown(*form, "EraseBtn"));
    EXPECT_TRUE(shown(*form, "Select_FW_Btn"));
    // Beside the picture the strip carries on its edge colour, above, beside and below the panel.
    const QImage view = QImage(saveScreenshot(*form, "service_view"));
    for (const QPoint at : {QPoint(740, 20), QPoint(760, 200), QPoint(785, 445)})
        EXPECT_EQ(view.pixelColor(at), QColor(9, 9, 18)) << at.x() << "," << at.y();

    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(form->inServiceView());
    EXPECT_EQ(form->size(), delivered);
    EXPECT_EQ(form->pos(), deliveredAt);
    EXPECT_FALSE(shown(*form, "EraseBtn"));
    EXPECT_FALSE(shown(*form, "Select_FW_Btn"));
}

}  // namespace
