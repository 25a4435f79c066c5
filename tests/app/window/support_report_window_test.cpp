// The support report from the window: Ctrl+Shift+C in the delivered view and "Copy Report" in the
// service view put the same text on the clipboard and into Record/, with every section, the
// controller, the firmware folder's files and the history's last rows, and no trace of the home folder.
#include "window_fixture.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

const QStringList kHeadings = {"[Program]", "[System]", "[Model table]", "[HID interfaces]", "[Drives]",
                               "[Firmware and image data files]", "[Update history]", "[Update log]",
                               "[System log]"};

// The program folder lies in the user's home folder, as it does for a user who unpacked the
// release there, so that the report has a home folder to leave out.
class SupportReport : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (!homeApp.isValid()) GTEST_SKIP() << "the home folder cannot be written to";
        QDirIterator files(appDir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString from = files.next();
            const QString to = homeApp.filePath(QDir(appDir.path()).relativeFilePath(from));
            QDir().mkpath(QFileInfo(to).path());
            ASSERT_TRUE(QFile::copy(from, to)) << to.toStdString();
        }
        QGuiApplication::clipboard()->clear();
    }

    std::unique_ptr<TMainForm> startHomeForm()
    {
        auto form = std::make_unique<TMainForm>(homeApp.path() + '/');
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }

    QStringList reports() const
    {
        return QDir(homeApp.filePath("Record")).entryList({"Report-*.txt"}, QDir::Files, QDir::Name);
    }

    QString readReport(const QString& name) const
    {
        QFile file(homeApp.filePath("Record/" + name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return QString::fromUtf8(file.readAll());
    }

    void writeHistory(int rows)
    {
        QDir().mkpath(homeApp.filePath("Record"));
        QFile file(homeApp.filePath("Record/UpdateHistory.csv"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBFstarted,ended,result\r\n");
        for (int row = 1; row <= rows; ++row) file.write(QStringLiteral("row %1,b,done\r\n").arg(row).toUtf8());
    }

    // The files are hashed off the window's thread: the report is made once they are.
    static void pressCopyReport(TMainForm& form)
    {
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(waitUntil([&] { return !form.supportReportPending(); }, 20000)) << "the report was never made";
    }

    QTemporaryDir homeApp{QDir::homePath() + "/lumaro-report-XXXXXX"};
};

TEST_F(SupportReport, ShortcutWithoutTheServiceViewCopiesAndSavesTheWholeReport)
{
    startSim({"--controller", "ctl,id=" + kController});
    writeHistory(25);
    auto form = startHomeForm();
    ASSERT_FALSE(form->inServiceView());
    ASSERT_EQ(caption(*form, "OpDevName"), "Tessaray TC-100");
    pressCopyReport(*form);

    const QStringList saved = reports();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(QRegularExpression("^Report-\\d{8}-\\d{6}\\.txt$").match(saved.front()).hasMatch()) << saved.front().toStdString();
    const QString report = readReport(saved.front());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), report);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("The report is on the clipboard and saved as ")) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(saved.front()));

    for (const QString& heading : kHeadings) EXPECT_TRUE(report.contains('\n' + heading + '\n')) << heading.toStdString();
    // The controller on the bus, by its hardware ID, under the model the window found.
    EXPECT_TRUE(report.contains(QString::fromStdString(kController) + "  ")) << report.toStdString();
    EXPECT_TRUE(report.contains("(Tessaray TC-100)"));
    // The files the window picked from Firmware/, with the SHA-256 of what they hold.
    EXPECT_TRUE(report.contains("picked firmware, 8 bytes, SHA-256 c3bf47ea1f4a4a605470313cacb3a44f4a461f68c6faeab07e737610cb5ac835"));
    EXPECT_TRUE(report.contains("picked image data, 5 bytes, SHA-256 6105d6cc76af400325e94d588ce511be5bfdbb73b437dc51eca43917d7a43e3d"));
    EXPECT_TRUE(report.contains("\nrow 25,b,done\n"));
    EXPECT_TRUE(report.contains("\nrow 6,b,done\n"));
    EXPECT_FALSE(report.contains("\nrow 5,"));
    EXPECT_TRUE(report.contains("[System log]\nGetDevInfo ok !\n"));

    // The program folder in the home folder is shown from "~"; the home folder itself nowhere.
    const QString home = QDir::homePath();
    EXPECT_TRUE(report.contains("Program folder: ~" + QDir::toNativeSeparators("/" + QDir(homeApp.path()).dirName() + "/")))
        << report.toStdString();
    EXPECT_FALSE(report.contains(home, Qt::CaseInsensitive)) << report.toStdString();
    EXPECT_FALSE(report.contains(QDir::toNativeSeparators(home), Qt::CaseInsensitive)) << report.toStdString();
}

TEST_F(SupportReport, ButtonOfTheServiceViewMakesAReportOfItsOwnEachTime)
{
    auto form = startHomeForm();
    auto* button = child<QPushButton>(*form, "CopyReportBtn");
    EXPECT_FALSE(shown(*form, "CopyReportBtn"));
    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(shown(*form, "CopyReportBtn"));
    EXPECT_EQ(button->text(), "Copy Report");

    for (int press = 0; press < 2; ++press) {  // within the same second, as a rule: the first report stays
        button->click();
        ASSERT_TRUE(waitUntil([&] { return !form->supportReportPending(); }, 20000));
    }
    const QStringList saved = reports();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), readReport(saved.back()));
    const QString report = readReport(saved.front());
    EXPECT_TRUE(report.contains("[Update history]\nnone\n"));
    EXPECT_TRUE(report.contains("[HID interfaces]\nOf known models: none\n"));

    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(shown(*form, "CopyReportBtn"));
}

TEST_F(SupportReport, ARecordFolderThatCannotTakeTheReportLeavesItOnTheClipboardAndSaysWhy)
{
    auto form = startHomeForm();
    ASSERT_TRUE(QDir(homeApp.filePath("Record")).removeRecursively());
    QFile blocker(homeApp.filePath("Record"));  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    pressCopyReport(*form);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("[System log]\n"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("The report is on the clipboard, but it could not be saved as "))
        << boxes[0].text.toStdString();
}

// A Firmware/ folder full of files: the window goes on answering while they are hashed, a press
// meanwhile makes no second report, and the hashing stops at its limit, the picked files hashed
// before any other.
TEST_F(SupportReport, AFullFirmwareFolderIsHashedOffTheWindowsThreadWithinALimit)
{
    startSim({"--controller", "ctl,id=" + kController});
    for (int number = 0; number < 40; ++number) {
        QFile extra(homeApp.filePath(QStringLiteral("Firmware/00-old-%1.bin").arg(number)));
        ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
        extra.write("old");
    }
    const int listed = int(QDir(homeApp.filePath("Firmware")).entryList(QDir::Files).size());
    auto form = startHomeForm();
    form->copySupportReport();
    EXPECT_TRUE(form->supportReportPending()) << "made on the window's thread";
    form->copySupportReport();
    ASSERT_TRUE(waitUntil([&] { return !form->supportReportPending(); }, 20000));
    QCoreApplication::processEvents();
    ASSERT_EQ(reports().size(), 1);
    const QString report = readReport(reports().front());
    EXPECT_EQ(report.count("not computed (the report hashes at most 32 files)"), listed - 32) << report.toStdString();
    EXPECT_TRUE(report.contains("picked firmware, 8 bytes, SHA-256 c3bf47ea")) << report.toStdString();
    EXPECT_TRUE(report.contains("picked image data, 5 bytes, SHA-256 6105d6cc"));
}

}  // namespace
