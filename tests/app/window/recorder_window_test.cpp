// The recorder page: starting and stopping a log, the measurements shown and written row by row,
// the workbook read back by an independent reader, rotation after 65535 rows, a spreadsheet program
// that cannot be started, a controller that does not answer, a log saved when the window closes (at
// any moment of it), presses during a measurement or a save, saves that fail, names of logs started
// in one second, and the journal that brings back a log a crash kept from being saved.
#include "window_fixture.h"
#include "file_size_limit.h"
#include "foreign_owner.h"
#include "tests/recorder/workbook/xlsx_reader.h"

#include "recorder/workbook/excelctrl.h"
#include "recorder/journal_text.h"
#include "app/window/save_failure_prompt.h"
#include "recorder/workbook/xlsx_workbook_server.h"

#include "platform/files/file_handle.h"
#include "platform/files/file_lock.h"

#include "link/controller_requests.h"
#include "link/job_busy.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <variant>

namespace {

using lumaro::test::SheetCells;

const QString kDegrees = QStringLiteral(" \u2103");
const std::string kTwoArrayController = "HID\\VID_1FC9&PID_0004&REV_0100";

// A controller that answers each measurement at once with fixed raw readings.
class FakeController final : public PacketChannel {
public:
    std::array<std::uint8_t, 3> temperatureRaw{};  // bytes 6 to 8 of the reply
    std::array<std::uint16_t, 12> channels{};
    std::uint16_t fanRaw = 0;
    std::vector<std::uint8_t> commands;  // every command written, in order
    std::function<void()> duringExchange;  // run once, from the next read, as if events ran there
    std::chrono::milliseconds answerTime{0};  // how long each answer takes to come
    std::atomic<int> requests{0};             // counted as they are written, read from any thread

    platform::OsError write(const platform::Report& report, int) override
    {
        commands.push_back(report[5]);
        ++requests;
        reply_.fill(0);
        reply_[1] = 0xA9;
        switch (report[5]) {
        case CmdGetTemperature:
            std::copy(temperatureRaw.begin(), temperatureRaw.end(), reply_.begin() + 6);
            reply_[kShortReplyEnd] = 0x5C;
            break;
        case CmdGetAllChannel:
            for (std::size_t i = 0; i < channels.size(); ++i) {
                reply_[6 + 2 * i] = static_cast<std::uint8_t>(channels[i] & 0xFF);
                reply_[7 + 2 * i] = static_cast<std::uint8_t>(channels[i] >> 8);
            }
            reply_[kChannelReplyEnd] = 0x5C;
            break;
        case CmdGetFanSpeed:
            reply_[6] = static_cast<std::uint8_t>(fanRaw & 0xFF);
            reply_[7] = static_cast<std::uint8_t>(fanRaw >> 8);
            reply_[kShortReplyEnd] = 0x5C;
            break;
        default:
            return platform::kOk;  // nothing else is answered
        }
        pending_ = true;
        return platform::kOk;
    }

    platform::OsError read(platform::Report& report, int) override
    {
        if (duringExchange) std::exchange(duringExchange, nullptr)();
        if (!pending_) return platform::kErrorTimeout;
        std::this_thread::sleep_for(answerTime);
        report = reply_;
        pending_ = false;
        return platform::kOk;
    }

private:
    platform::Report reply_{};
    bool pending_ = false;
};

// The stand-in workbook server with a hook before every call, which may throw as a spreadsheet program
// that went away would.
class HookedServer {
public:
    std::function<void(std::string_view member, automation::CallKind kind)> before;

    automation::ClassFactory factory()
    {
        return [this] { return wrap(createXlsxWorkbookServer()); };
    }
    static void gone()
    {
        throw automation::AutomationError(automation::ErrorCode::Disconnected,
                                          "The object invoked has disconnected from its clients.");
    }

private:
    class HookedObject final : public automation::Object {
    public:
        HookedObject(HookedServer& server, automation::ObjectRef inner) : server_(server), inner_(std::move(inner)) {}
        automation::Value invoke(std::string_view member, automation::CallKind kind,
                                 std::span<const automation::Value> args) override
        {
            if (server_.before) server_.before(member, kind);
            automation::Value result = inner_->invoke(member, kind, args);
            if (auto* object = std::get_if<automation::ObjectRef>(&result)) return server_.wrap(*object);
            return result;
        }

    private:
        HookedServer& server_;
        automation::ObjectRef inner_;
    };

    automation::ObjectRef wrap(automation::ObjectRef inner) { return std::make_shared<HookedObject>(*this, std::move(inner)); }
};

// The stand-in workbook server with a gate before every save: a save waits while the gate is held.
class SaveGate {
public:
    std::atomic<bool> held{false};
    std::atomic<int> waiting{0};  // saves at the gate

    SaveGate()
    {
        server_.before = [this](std::string_view member, automation::CallKind) {
            if (member != "SaveAs") return;
            ++waiting;
            while (held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --waiting;
        };
    }
    automation::ClassFactory factory() { return server_.factory(); }

private:
    HookedServer server_;
};

// In the test's own body: a skip in a function it calls would leave only that function.
#define SKIP_WITHOUT_READER()                                                                                          \
    if (!lumaro::test::xlsxReaderAvailable()) GTEST_SKIP() << "no workbook reader (scripts/setup installs openpyxl)"

class Recorder : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        writeWorkFile("Page.DAT", "UpdateFW=1\nTempTest=1\n");
    }
    void TearDown() override
    {
        automation::registerClass("Excel.Application", &createXlsxWorkbookServer);
        setSaveFailureAnswers({});
        ExcelRelease();
        WindowTest::TearDown();
    }

    // A window with the given controller plugged in, measuring the fake controller.
    std::unique_ptr<TMainForm> startRecorderForm(const std::string& controllerId = kController)
    {
        startSim({"--controller", "ctl,id=" + controllerId});
        auto form = startForm();
        form->setRecorderChannel(&controller);
        return form;
    }

    // The workbook calls run on a thread of their own: their outcomes are in once none is pending.
    static void settleWorkbook(TMainForm& form)
    {
        EXPECT_TRUE(waitUntil([&] { return form.workbookCallsPending() == 0; }, 8000)) << "the workbook calls never ended";
    }
    static void pressStart(TMainForm& form)
    {
        QTest::mouseClick(child<QPushButton>(form, "Temp_Start_Btn"), Qt::LeftButton);
        QCoreApplication::processEvents();  // the click is handled from the event loop
        settleWorkbook(form);
    }
    // One measurement, shown and written: its exchanges run on a thread of their own.
    static void tick(TMainForm& form)
    {
        form.Temp_TimerTimer();
        EXPECT_TRUE(waitUntil([&] { return !form.measuring(); }, 8000)) << "the measurement never ended";
        settleWorkbook(form);
    }
    static QString startCaption(const TMainForm& form) { return child<QPushButton>(form, "Temp_Start_Btn")->text(); }
    static bool logRunning(const TMainForm& form) { return startCaption(form) != "Start to log temperature"; }
    static bool timersRun(const TMainForm& form)
    {
        return child<QTimer>(form, "Temp_Timer")->isActive() && child<QTimer>(form, "TempBarTimer")->isActive();
    }
    static QStringList listed(const TMainForm& form)
    {
        QStringList names;
        const auto* list = child<QListWidget>(form, "LogList");
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }

    static SheetCells readBack(const QString& path)
    {
        if (!lumaro::test::xlsxReaderAvailable()) return {};
        const auto cells = lumaro::test::readFirstSheet(path.toStdString());
        EXPECT_TRUE(cells.has_value()) << "not a workbook: " << path.toStdString();
        return cells.value_or(SheetCells{});
    }
    static SheetCells row(const SheetCells& cells, int number)
    {
        SheetCells picked;
        for (const auto& [at, text] : cells)
            if (at.first == number) picked[at] = text;
        return picked;
    }
    // A folder where the workbook is to go: its save cannot be put in place, on every system (the
    // folder of an open journal cannot be removed on Windows).
    static void blockSaving(const QString& path) { ASSERT_TRUE(QDir().mkpath(path)); }
    static void unblockSaving(const QString& path) { ASSERT_TRUE(QDir().rmdir(path)); }
    static std::string readAppJournal(const QString& workbookPath)
    {
        QFile journal(workbookPath + ".journal");
        EXPECT_TRUE(journal.open(QIODevice::ReadOnly));
        return journal.readAll().toStdString();
    }

    FakeController controller;
};

TEST_F(Recorder, StartNamesTheLogAndRunsTheTimersStopSavesTheHeaderAndListsIt)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    pressStart(*form);
    ASSERT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
    EXPECT_EQ(startCaption(*form), "Stop to log temperature");
    EXPECT_TRUE(timersRun(*form));
    EXPECT_EQ(child<QTimer>(*form, "Temp_Timer")->interval(), 1000);
    const QString path = form->LogFilePath;
    EXPECT_EQ(caption(*form, "LogPath_Show"), path);
    EXPECT_EQ(QFileInfo(path).path() + '/', form->RecordFolder);
    EXPECT_TRUE(QRegularExpression("^\\d{4}(_\\d\\d){5}_temp\\.xls$").match(QFileInfo(path).fileName()).hasMatch()) << path.toStdString();
    form->TempBarTimerTimer();
    EXPECT_EQ(child<QProgressBar>(*form, "Temp_ProgressBar")->value(), 1);

    pressStart(*form);  // stopped before its first measurement
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    EXPECT_FALSE(child<QTimer>(*form, "Temp_Timer")->isActive());
    EXPECT_EQ(caption(*form, "LogPath_Show"), "Not ready to log.");
    EXPECT_EQ(listed(*form), QStringList{QFileInfo(path).fileName()});
    EXPECT_TRUE(controller.commands.empty()) << "start and stop send nothing, the image-flash erase least of all";
    SheetCells header{{{1, 1}, "Measure Device : Tessaray TC-100"}, {{3, 1}, "Time"}, {{3, 3}, "Array 1"},
                      {{3, 4}, "Array 2"}, {{3, 5}, "Ambient"}, {{3, 7}, "Fan Spped"}};
    for (int channel = 1; channel <= 12; ++channel) header[{3, 8 + channel}] = "CH " + std::to_string(channel);
    EXPECT_EQ(readBack(path), header);

    // The interval is taken at the start.
    child<QComboBox>(*form, "TimeIn")->setCurrentText("30");
    child<QComboBox>(*form, "TimeAT")->setCurrentIndex(1);
    pressStart(*form);
    EXPECT_EQ(child<QTimer>(*form, "Temp_Timer")->interval(), 1800000);
    pressStart(*form);
}

TEST_F(Recorder, EachTickShowsTheReadingsAndWritesOneRowNegativeTemperaturesIncluded)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm(kTwoArrayController);
    controller.temperatureRaw = {225, 177, 249};  // -5, 23 and -40 degrees
    for (std::size_t i = 0; i < 12; ++i) controller.channels[i] = static_cast<std::uint16_t>(i == 11 ? 65535 : 100 + i);
    controller.fanRaw = 0x8000 | 200;  // 1500 rpm
    pressStart(*form);
    tick(*form);
    EXPECT_EQ(caption(*form, "Array1Temp_Show"), "-5" + kDegrees);
    EXPECT_EQ(caption(*form, "Array2Temp_Show"), "23" + kDegrees);
    EXPECT_EQ(caption(*form, "AmbientTemp_Show"), "-40" + kDegrees);
    EXPECT_EQ(caption(*form, "CHShow_1"), "100");
    EXPECT_EQ(caption(*form, "CHShow_12"), "65535");
    EXPECT_EQ(caption(*form, "fansp"), "1500 rpm");
    QDir().mkpath(QStringLiteral(LUMARO_ARTIFACT_DIR));
    child<QWidget>(*form, "PageControl1")->grab().save(QStringLiteral(LUMARO_ARTIFACT_DIR "/recorder_page_running.png"));
    controller.temperatureRaw = {218, 218, 218};  // 0 degrees
    tick(*form);
    EXPECT_EQ(form->LogRowCount, 2);

    // While a device job owns the link the tick exchanges nothing and writes nothing.
    const std::size_t sent = controller.commands.size();
    jobBusy = true;
    tick(*form);
    jobBusy = false;
    EXPECT_EQ(controller.commands.size(), sent);
    EXPECT_EQ(form->LogRowCount, 2);

    const QString path = form->LogFilePath;
    pressStart(*form);
    const SheetCells cells = readBack(path);
    SheetCells first = row(cells, 4);
    EXPECT_TRUE(QRegularExpression("^time:\\d\\d:\\d\\d:\\d\\d$").match(QString::fromStdString(first[{4, 1}])).hasMatch())
        << first[{4, 1}];
    first.erase({4, 1});
    SheetCells expected{{{4, 3}, "int:-5"}, {{4, 4}, "int:23"}, {{4, 5}, "int:-40"}, {{4, 7}, "int:1500"}, {{4, 20}, "int:65535"}};
    for (int channel = 1; channel <= 11; ++channel) expected[{4, 8 + channel}] = "int:" + std::to_string(99 + channel);
    EXPECT_EQ(first, expected);
    EXPECT_EQ((row(cells, 5)[{5, 3}]), "int:0");
    EXPECT_TRUE(row(cells, 6).empty());
}

TEST_F(Recorder, WithoutASpreadsheetProgramTheStartStopsHalfWayAndTheNextPressStopsWithAnError)
{
    auto form = startRecorderForm();
    automation::registerClass("Excel.Application", {});
    pressStart(*form);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Invalid class string, ProgID: \"Excel.Application\"");
    EXPECT_EQ(startCaption(*form), "Stop to log temperature");
    EXPECT_EQ(caption(*form, "LogPath_Show"), form->LogFilePath);
    EXPECT_FALSE(child<QTimer>(*form, "Temp_Timer")->isActive());
    EXPECT_FALSE(child<QTimer>(*form, "TempBarTimer")->isActive());

    pressStart(*form);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].text.contains("SaveAs")) << boxes[1].text.toStdString();
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    EXPECT_EQ(caption(*form, "LogPath_Show"), "Not ready to log.");
    EXPECT_FALSE(QFileInfo::exists(form->LogFilePath));
    EXPECT_TRUE(listed(*form).isEmpty());
}

// Waits, handling no events, until the wall clock has passed into the next second, so that a new
// log gets a new name.
void waitForNextSecond()
{
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    while (QDateTime::currentSecsSinceEpoch() == second) QThread::msleep(5);
}

TEST_F(Recorder, Row65538EndsTheWorkbookAndTheNextRowStartsANewOneWithoutHeader)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    child<QComboBox>(*form, "TimeAT")->setCurrentIndex(1);  // the test's ticks are the only ones
    pressStart(*form);
    const QString firstPath = form->LogFilePath;
    tick(*form);                       // row 4
    form->LogRowCount = 65533;                     // as if the rows between had been written
    tick(*form);                       // row 65537
    waitForNextSecond();
    tick(*form);                       // row 65538, then the rotation
    EXPECT_EQ(form->LogRowCount, 0);
    const QString secondPath = form->LogFilePath;
    EXPECT_NE(secondPath, firstPath);
    EXPECT_EQ(caption(*form, "LogPath_Show"), secondPath);
    EXPECT_TRUE(timersRun(*form));
    EXPECT_EQ(listed(*form), QStringList{QFileInfo(firstPath).fileName()});

    controller.temperatureRaw = {225, 225, 0};
    tick(*form);                       // row 4 of the new workbook
    pressStart(*form);
    EXPECT_EQ(listed(*form).size(), 2);

    const SheetCells first = readBack(firstPath);
    EXPECT_EQ((first.at({1, 1})), "Measure Device : Tessaray TC-100");
    EXPECT_EQ((first.at({4, 3})), "int:23");
    EXPECT_EQ(row(first, 65537).size(), 17u);
    EXPECT_EQ(row(first, 65538).size(), 17u);
    EXPECT_EQ(first.rbegin()->first.first, 65538);
    const SheetCells second = readBack(secondPath);
    EXPECT_EQ(second.begin()->first.first, 4) << "a rotated workbook has no header rows";
    EXPECT_EQ((second.at({4, 3})), "int:-5");
    EXPECT_EQ(second.size(), 17u);
}

// A rotated log measures on while its next workbook opens (seconds with a real spreadsheet
// program). When that workbook cannot be opened, the rows of that while are in the journal only: it
// stays for the next start.
TEST_F(Recorder, ARotationWhoseNextWorkbookCannotOpenKeepsTheRowsMeasuredMeanwhile)
{
    SKIP_WITHOUT_READER();
    HookedServer server;
    std::atomic<int> workbooksAdded{0};
    std::atomic<bool> opening{false}, letItFail{false};
    server.before = [&](std::string_view member, automation::CallKind) {
        if (member != "Add" || ++workbooksAdded < 2) return;
        opening = true;
        for (int waited = 0; !letItFail && waited < 8000; waited += 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        HookedServer::gone();
    };
    automation::registerClass("Excel.Application", server.factory());
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    child<QComboBox>(*form, "TimeAT")->setCurrentIndex(1);
    pressStart(*form);
    form->LogRowCount = 65534;
    form->Temp_TimerTimer();  // row 65538, then the rotation
    ASSERT_TRUE(waitUntil([&] { return opening.load(); }, 8000)) << "the next workbook was never asked for";
    const QString next = form->LogFilePath;
    form->Temp_TimerTimer();  // measured while it opens
    EXPECT_TRUE(waitUntil([&] { return !form->measuring(); }, 8000));
    letItFail = true;
    settleWorkbook(*form);
    QCoreApplication::processEvents();
    EXPECT_FALSE(boxes.empty());
    ASSERT_TRUE(QFileInfo::exists(next + ".journal")) << "the only copy of the row measured meanwhile was removed";
    EXPECT_EQ(dataRowsIn(journalCells(readAppJournal(next))), 1u);
}

TEST_F(Recorder, AFullWorkbookThatCannotBeSavedKeepsItsRowsAndIsSavedAtTheNextTick)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    child<QComboBox>(*form, "TimeAT")->setCurrentIndex(1);
    pressStart(*form);
    const QString firstPath = form->LogFilePath;
    form->LogRowCount = 65534;
    blockSaving(firstPath);
    tick(*form);  // row 65538, the save fails
    tick(*form);  // row 65539, and again
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u) << "the failure is shown once, not at every tick";
    EXPECT_TRUE(boxes[0].text.contains(firstPath)) << boxes[0].text.toStdString();
    EXPECT_EQ(form->LogRowCount, 65536);
    EXPECT_EQ(form->LogFilePath, firstPath);

    unblockSaving(firstPath);
    waitForNextSecond();
    tick(*form);  // row 65540, saved with the rest
    EXPECT_EQ(form->LogRowCount, 0);
    EXPECT_NE(form->LogFilePath, firstPath);
    pressStart(*form);
    const SheetCells first = readBack(firstPath);
    EXPECT_EQ(row(first, 65538).size(), 17u);
    EXPECT_EQ(row(first, 65540).size(), 17u);
}

TEST_F(Recorder, WithoutTheWorkbookOptionTheReadingsShowButNothingIsWritten)
{
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    automation::registerClass("Excel.Application", {});  // any call to the writer would be shown
    child<QCheckBox>(*form, "LogExcel_check")->setChecked(false);
    pressStart(*form);
    tick(*form);
    EXPECT_EQ(caption(*form, "Array1Temp_Show"), "23" + kDegrees);
    EXPECT_EQ(form->LogRowCount, 0);
    pressStart(*form);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(QDir(form->RecordFolder).isEmpty());
}

TEST_F(Recorder, ASilentControllerCostsAboutASecondPerRequestOffTheWindowsThreadAndGivesARowOfZeros)
{
    SKIP_WITHOUT_READER();
    startSim({"--controller", "ctl,fault=silent,id=" + kController});
    auto form = startForm();
    pressStart(*form);
    tick(*form);  // measured once before, so that the zeros below are the tick's
    child<QLabel>(*form, "fansp")->setText("-");
    const auto started = std::chrono::steady_clock::now();
    const QTime asked = QTime::currentTime();
    form->Temp_TimerTimer();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100)) << "the window is not held";
    form->Temp_TimerTimer();  // a tick while the measurement runs is let go
    // The window answers all the while: well within the second each silent request takes (the bound
    // leaves room for a machine busy with other work).
    auto longestGap = std::chrono::steady_clock::duration{};
    auto last = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] {
        const auto now = std::chrono::steady_clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
        return !form->measuring();
    }, 8000));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(longestGap, std::chrono::milliseconds(500));
    EXPECT_GT(took, std::chrono::milliseconds(2500));
    EXPECT_LT(took, std::chrono::milliseconds(5000));
    EXPECT_EQ(caption(*form, "Array1Temp_Show"), "0" + kDegrees);
    EXPECT_EQ(caption(*form, "CHShow_5"), "0");
    EXPECT_EQ(caption(*form, "fansp"), "0 rpm");
    const QString path = form->LogFilePath;
    pressStart(*form);

    const SheetCells cells = readBack(path);
    EXPECT_EQ((cells.at({5, 3})), "int:0");
    EXPECT_EQ((cells.at({5, 7})), "int:0");
    EXPECT_EQ((cells.at({5, 20})), "int:0");
    // The row carries the time the measurement was asked for, not the time its answers ran out.
    const QTime written = QTime::fromString(QString::fromStdString(cells.at({5, 1})).remove("time:"), "hh:mm:ss");
    ASSERT_TRUE(written.isValid()) << cells.at({5, 1});
    EXPECT_LE(std::abs(asked.secsTo(written)), 1) << asked.toString().toStdString();
    int sent = 0;
    for (const lumaro::test::SimRecord& record : sim->records()) {
        if (record.dir != "out") continue;
        ++sent;
        EXPECT_NE(record.report[5], CmdEraseFlashImg);
    }
    EXPECT_EQ(sent, 6) << "two measurements of three requests each";
}

TEST_F(Recorder, OneArrayModelLeavesTheSecondReadoutAloneAndClosingWhileLoggingSavesTheRows)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm(kController);
    EXPECT_FALSE(shown(*form, "Array2Temp_Show"));
    child<QLabel>(*form, "Array2Temp_Show")->setText("untouched");
    controller.temperatureRaw = {177, 225, 0};  // array 1: 23, ambient: -5
    pressStart(*form);
    tick(*form);
    EXPECT_EQ(caption(*form, "AmbientTemp_Show"), "-5" + kDegrees);
    EXPECT_EQ(caption(*form, "Array2Temp_Show"), "untouched");
    const QString path = form->LogFilePath;
    form->close();  // goes once the log is saved
    settleWorkbook(*form);
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    EXPECT_TRUE(boxes.empty());
    const SheetCells cells = readBack(path);
    EXPECT_EQ(row(cells, 4).size(), 17u);
    EXPECT_EQ((cells.at({4, 3})), "int:23");
    EXPECT_EQ((cells.at({4, 4})), "int:0");
    EXPECT_EQ((cells.at({4, 5})), "int:-5");
}

TEST_F(Recorder, AWindowClosedDuringAnExchangeClosesOnceItsRowIsWrittenAndSavesTheLog)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    form->show();
    controller.temperatureRaw = {177, 177, 0};
    pressStart(*form);
    const QString path = form->LogFilePath;
    // A measurement whose controller holds its answer until the test has acted.
    std::atomic<bool> inExchange{false};
    std::atomic<bool> answer{false};
    auto tickHeldInExchange = [&] {
        inExchange = false;
        answer = false;
        controller.duringExchange = [&] {
            inExchange = true;
            while (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        form->Temp_TimerTimer();
        return waitUntil([&] { return inExchange.load(); });
    };
    ASSERT_TRUE(tickHeldInExchange());
    EXPECT_FALSE(form->close()) << "the log is not stopped under a running exchange";
    answer = true;
    ASSERT_TRUE(waitUntil([&] { return form->isHidden(); }, 2000)) << "the close was lost";
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    EXPECT_FALSE(timersRun(*form));
    EXPECT_EQ(form->LogRowCount, 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(row(readBack(path), 4).size(), 17u) << "the row measured when the close came is saved";
    EXPECT_FALSE(QFileInfo::exists(path + ".journal"));

    // A stop pressed in the same place acts after the row too.
    form->show();
    pressStart(*form);
    const QString secondPath = form->LogFilePath;
    ASSERT_TRUE(tickHeldInExchange());
    pressStart(*form);
    EXPECT_EQ(startCaption(*form), "Stop to log temperature");
    answer = true;
    ASSERT_TRUE(waitUntil([&] { return startCaption(*form) == "Start to log temperature"; }, 2000));
    EXPECT_EQ(form->LogRowCount, 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(row(readBack(secondPath), 4).size(), 17u);

    // Two presses there act in turn: the log stops, and once it is saved a new one starts.
    pressStart(*form);
    const QString thirdPath = form->LogFilePath;
    ASSERT_TRUE(tickHeldInExchange());
    pressStart(*form);
    pressStart(*form);
    answer = true;
    ASSERT_TRUE(waitUntil([&] { return form->LogFilePath != thirdPath && timersRun(*form); }, 2000)) << "a press was lost";
    EXPECT_EQ(row(readBack(thirdPath), 4).size(), 17u);
    EXPECT_TRUE(boxes.empty());
    pressStart(*form);
}

TEST_F(Recorder, ASaveRunsWhileTheWindowAnswersAndAPressOrACloseDuringItActsOnceItHasEnded)
{
    SKIP_WITHOUT_READER();
    SaveGate gate;
    automation::registerClass("Excel.Application", gate.factory());
    auto form = startRecorderForm();
    form->show();
    controller.temperatureRaw = {177, 177, 0};
    pressStart(*form);
    tick(*form);
    const QString firstPath = form->LogFilePath;
    gate.held = true;
    auto* button = child<QPushButton>(*form, "Temp_Start_Btn");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return gate.waiting == 1; })) << "the save never started";
    EXPECT_EQ(startCaption(*form), "Start to log temperature") << "the stop is shown while the save runs";
    QTest::mouseClick(button, Qt::LeftButton);  // a new log waits: a retry could still need this workbook
    QCoreApplication::processEvents();
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    gate.held = false;
    ASSERT_TRUE(waitUntil([&] { return startCaption(*form) == "Stop to log temperature"; })) << "the press was lost";
    settleWorkbook(*form);
    const QString secondPath = form->LogFilePath;
    EXPECT_NE(secondPath, firstPath);
    EXPECT_EQ(row(readBack(firstPath), 4).size(), 17u);

    // A close during the save: the window stays until the save has ended, then goes.
    tick(*form);
    gate.held = true;
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return gate.waiting == 1; }));
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(QFileInfo::exists(secondPath + ".journal")) << "the rows are kept until saved";
    gate.held = false;
    ASSERT_TRUE(waitUntil([&] { return form->isHidden(); })) << "the close was lost";
    settleWorkbook(*form);
    EXPECT_EQ(row(readBack(secondPath), 4).size(), 17u);
    EXPECT_FALSE(QFileInfo::exists(secondPath + ".journal"));
    EXPECT_TRUE(boxes.empty());
}

// A close asked as a window manager's close button asks: the close event that the event loop hands
// the window, whatever the program is doing then.
void askToCloseAsTheWindowManagerDoes(TMainForm& form)
{
    QCloseEvent event;
    QCoreApplication::sendEvent(form.windowHandle(), &event);
}

// A close of the window, or a stop, asked at moments spread over two measurement intervals: between
// ticks, during the exchanges, while the row is written, during the save of a workbook the first row
// filled, and with a controller slower than the interval, where a tick is always due. Each time the
// log is saved, and the window goes or the log stops, after the measurement under way and not one more.
TEST_F(Recorder, ACloseOrAStopAtAnyMomentOfALogSavesItAfterTheMeasurementUnderWay)
{
    struct LogCase {
        const char* what;
        int intervalMs;
        bool fillsItsWorkbook;
    };
    const LogCase cases[] = {{"a log", 60, false},
                             {"a log whose first row fills its workbook", 60, true},
                             {"a log measured slower than its interval", 15, false}};
    HookedServer server;
    server.before = [](std::string_view member, automation::CallKind) {
        if (member == "SaveAs") std::this_thread::sleep_for(std::chrono::milliseconds(40));
    };
    automation::registerClass("Excel.Application", server.factory());
    auto form = startRecorderForm();
    controller.answerTime = std::chrono::milliseconds(8);
    const QDir record(form->RecordFolder);
    for (int round = 0; round < 2; ++round) {
        for (const LogCase& log : cases) {
            for (const bool closing : {true, false}) {
                for (int at = 0; at <= 96; at += 16) {
                    SCOPED_TRACE(std::string(closing ? "a close " : "a stop ") + std::to_string(at) + " ms into " + log.what);
                    form->show();
                    pressStart(*form);
                    child<QTimer>(*form, "Temp_Timer")->start(log.intervalMs);
                    if (log.fillsItsWorkbook) form->LogRowCount = 65534;
                    QElapsedTimer clock;
                    clock.start();
                    waitUntil([&] { return clock.elapsed() >= at; });
                    const int requestsBefore = controller.requests;
                    if (closing) {
                        askToCloseAsTheWindowManagerDoes(*form);
                    } else {
                        QTest::mouseClick(child<QPushButton>(*form, "Temp_Start_Btn"), Qt::LeftButton);
                        QCoreApplication::sendPostedEvents(form.get(), QEvent::MetaCall);  // the click, handled now
                    }
                    ASSERT_TRUE(waitUntil([&] { return closing ? form->isHidden() : !logRunning(*form); }, 3000))
                        << "the request was lost";
                    settleWorkbook(*form);
                    EXPECT_LE(controller.requests - requestsBefore, 3) << "a measurement began after the request";
                    EXPECT_FALSE(timersRun(*form));
                    EXPECT_TRUE(QFileInfo::exists(form->LogFilePath)) << "the log was not saved";
                    EXPECT_EQ(record.entryList({"*.journal"}), QStringList()) << "a log was left unsaved";
                    EXPECT_TRUE(boxes.empty());
                }
            }
        }
    }
}

TEST_F(Recorder, AStopWhoseSaveFailsKeepsTheRowsUntilTheyAreSavedAgainOrElsewhere)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    pressStart(*form);
    tick(*form);
    tick(*form);
    const QString path = form->LogFilePath;
    QTemporaryDir elsewhere;
    const QString otherPath = elsewhere.path() + "/kept.xls";
    QStringList asked;
    setSaveFailureAnswers({[&](const QString& at, const QString& reason) {
                               asked << at + " | " + reason;
                               // First a retry that fails the same way, then somewhere that works.
                               return asked.size() == 1 ? SaveFailureChoice::TryAgain : SaveFailureChoice::SaveElsewhere;
                           },
                           [&](const QString&) { return otherPath; }});
    blockSaving(path);
    pressStart(*form);
    unblockSaving(path);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith(path + " | Cannot save the workbook as")) << asked[0].toStdString();
    EXPECT_EQ(asked[1], asked[0]);
    EXPECT_EQ(form->LogRowCount, 0);
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    const SheetCells cells = readBack(otherPath);
    EXPECT_EQ((cells.at({1, 1})), "Measure Device : Tessaray TC-100");
    EXPECT_EQ(row(cells, 5).size(), 17u);
    EXPECT_TRUE(boxes.empty());

    // The next log starts at row 4 again.
    pressStart(*form);
    tick(*form);
    const QString nextPath = form->LogFilePath;
    pressStart(*form);
    const SheetCells next = readBack(nextPath);
    EXPECT_EQ(row(next, 4).size(), 17u);
    EXPECT_TRUE(row(next, 5).empty());
}

TEST_F(Recorder, OnlyAnExplicitDiscardDropsAnUnsavedLog)
{
    auto form = startRecorderForm();
    pressStart(*form);
    tick(*form);
    const QString path = form->LogFilePath;
    int asked = 0;
    setSaveFailureAnswers({[&](const QString&, const QString&) {
                               ++asked;
                               return SaveFailureChoice::Discard;
                           },
                           {}});
    blockSaving(path);
    pressStart(*form);
    unblockSaving(path);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(form->LogRowCount, 0);
    EXPECT_TRUE(child<QPlainTextEdit>(*form, "System_Memo")->toPlainText().contains("discarded")) ;
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Recorder, LogsStartedInOneSecondGetTheirOwnFilesAndSideFilesAreNotListed)
{
    auto form = startRecorderForm();
    // Early in a second, so that the three logs below start within it.
    while (QDateTime::currentMSecsSinceEpoch() % 1000 > 300) QThread::msleep(5);
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        pressStart(*form);
        paths << form->LogFilePath;
        pressStart(*form);
    }
    EXPECT_EQ(QSet<QString>(paths.begin(), paths.end()).size(), 3);
    for (const QString& path : paths) EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(paths[1].endsWith("_temp_2.xls")) << paths[1].toStdString();

    writeAppFile("Record/2026_03_07_14_05_09_temp.xls.saving", "x");
    pressStart(*form);  // the running log's journal is in the folder while the list is read
    const QString running = form->LogFilePath;
    ASSERT_TRUE(QFileInfo::exists(running + ".journal"));
    form->FillLogList(form->RecordFolder);
    QStringList names;
    for (const QString& path : paths) names << QFileInfo(path).fileName();
    QStringList shown = listed(*form);
    shown.sort();
    EXPECT_EQ(shown, names);
    pressStart(*form);
}

TEST_F(Recorder, TheJournalTakesEachRowAsWrittenAndALogACrashLeftIsWrittenOutAtTheNextStart)
{
    SKIP_WITHOUT_READER();
    QString journalText;
    QString path;
    {
        auto form = startRecorderForm();
        controller.temperatureRaw = {177, 177, 0};
        pressStart(*form);
        path = form->LogFilePath;
        tick(*form);
        tick(*form);
        {
            QFile journal(path + ".journal");  // closed again: Windows removes no file that is open
            ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
            journalText = QString::fromUtf8(journal.readAll());
        }
        const std::vector<LogCell> cells = journalCells(journalText.toStdString());
        EXPECT_EQ(cells.size(), 18u + 2 * 17u) << "the header and both rows, already on disk";
        EXPECT_EQ(dataRowsIn(cells), 2u);
        pressStart(*form);
        EXPECT_FALSE(QFileInfo::exists(path + ".journal")) << "a saved log keeps no journal";
        sim.reset();
    }

    // As a crash during the third row would leave it: no workbook, the journal with a torn last line.
    const QString lost = QFileInfo(path).fileName();
    QFile::remove(path);
    writeAppFile("Record/" + lost + ".journal", (journalText + "6\t1\t14:0").toUtf8());
    auto form = startRecorderForm();
    settleWorkbook(*form);
    EXPECT_FALSE(QFileInfo::exists(path + ".journal"));
    EXPECT_TRUE(listed(*form).contains(lost));
    EXPECT_TRUE(child<QPlainTextEdit>(*form, "System_Memo")->toPlainText().contains("Recovered 2 rows of an unsaved log into " + lost));
    const SheetCells cells = readBack(path);
    EXPECT_EQ((cells.at({1, 1})), "Measure Device : Tessaray TC-100");
    EXPECT_EQ(row(cells, 5).size(), 17u);
    EXPECT_EQ((cells.at({5, 3})), "int:23");
    EXPECT_TRUE(row(cells, 6).empty());
}

// A save that fails otherwise than by a refusal (the program gone) is shown and keeps the journal; the
// next log does not take it away, and the next start writes the rows out.
TEST_F(Recorder, ASaveThatFailsWithoutARefusalKeepsTheJournalThroughTheNextLog)
{
    SKIP_WITHOUT_READER();
    HookedServer server;
    bool failSaves = true;
    server.before = [&](std::string_view member, automation::CallKind) {
        if (member == "SaveAs" && failSaves) HookedServer::gone();
    };
    automation::registerClass("Excel.Application", server.factory());
    QString path;
    {
        auto form = startRecorderForm();
        controller.temperatureRaw = {177, 177, 0};
        pressStart(*form);
        path = form->LogFilePath;
        tick(*form);
        tick(*form);
        pressStart(*form);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(QFileInfo::exists(path + ".journal"));
        failSaves = false;
        pressStart(*form);  // a new log, saved this time
        tick(*form);
        pressStart(*form);
        EXPECT_TRUE(QFileInfo::exists(path + ".journal")) << "the unsaved log's journal was removed";
        EXPECT_FALSE(QFileInfo::exists(path));
        sim.reset();
    }
    auto form = startRecorderForm();
    settleWorkbook(*form);
    EXPECT_TRUE(child<QPlainTextEdit>(*form, "System_Memo")->toPlainText().contains("Recovered 2 rows of an unsaved log into " +
                                                                                    QFileInfo(path).fileName()));
    EXPECT_EQ(row(readBack(path), 5).size(), 17u);
    EXPECT_FALSE(QFileInfo::exists(path + ".journal"));
}

// A program that goes away during a log: one box, not one per tick; the timers stop; the workbook,
// saved after all, lacks the rows, so its journal stays and the next start writes them all out.
TEST_F(Recorder, AWorkbookThatStopsTakingRowsShowsOneBoxStopsTheLogAndKeepsItsJournal)
{
    SKIP_WITHOUT_READER();
    HookedServer server;
    bool failCells = false;
    server.before = [&](std::string_view member, automation::CallKind kind) {
        if (member == "Value" && kind == automation::CallKind::PropertyPut && failCells) HookedServer::gone();
    };
    automation::registerClass("Excel.Application", server.factory());
    auto form = startRecorderForm();
    pressStart(*form);
    const QString path = form->LogFilePath;
    tick(*form);
    failCells = true;
    tick(*form);
    tick(*form);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(child<QTimer>(*form, "Temp_Timer")->isActive());
    EXPECT_FALSE(child<QTimer>(*form, "TempBarTimer")->isActive());
    failCells = false;
    pressStart(*form);
    EXPECT_EQ(startCaption(*form), "Start to log temperature");
    EXPECT_TRUE(QFileInfo::exists(path)) << "the workbook was saved";
    EXPECT_TRUE(QFileInfo::exists(path + ".journal")) << "the rows only the journal has were removed with it";
    EXPECT_EQ(journalCells(readAppJournal(path)).size(), 18u + 3 * 17u);
}

// A full disk cuts a journal append short: the user is told once that the rows are not being kept,
// the log runs on in its workbook, and once there is room the rows after the torn one are kept whole.
TEST_F(Recorder, AJournalAppendCutShortIsToldOnceAndTheNextRowsAreKeptWhole)
{
    SKIP_WITHOUT_READER();
    auto form = startRecorderForm();
    controller.temperatureRaw = {177, 177, 0};
    pressStart(*form);
    const QString path = form->LogFilePath;
    tick(*form);
    const auto journalSize = static_cast<std::uint64_t>(QFileInfo(path + ".journal").size());
    // Room for the next row's time ("5\t1\t12:00:00\n", 13 bytes) and 3 bytes of its next line.
    if (!bustest::limitFileSize(journalSize + 16)) GTEST_SKIP() << "no limit on a file's size here";
    tick(*form);
    tick(*form);
    bustest::liftFileSizeLimit();
    tick(*form);
    const QString memo = child<QPlainTextEdit>(*form, "System_Memo")->toPlainText();
    EXPECT_EQ(memo.count("are not being kept in its journal"), 1) << memo.toStdString();
    const std::vector<LogCell> cells = journalCells(readAppJournal(path));
    std::map<std::int32_t, std::size_t> perRow;
    for (const LogCell& cell : cells) ++perRow[cell.row];
    EXPECT_EQ(perRow[4], 17u);
    EXPECT_LT(perRow[5], 17u) << "the row cut short";
    EXPECT_EQ(perRow[6], 0u) << "the row that found the disk full";
    EXPECT_EQ(perRow[7], 17u) << "the row after the torn one";
    pressStart(*form);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(row(readBack(path), 7).size(), 17u) << "the workbook took every row";
}

// Only the recorder's own leftovers are written out: a journal named otherwise is left alone, one a
// running log holds is left alone, and two journals whose workbooks would take one name get two.
TEST_F(Recorder, RecoveryTakesOnlyTheRecordersOwnJournalsNobodyHoldsEachIntoANameOfItsOwn)
{
    SKIP_WITHOUT_READER();
    const QString stamp = "2026_03_07_14_05_09_temp";
    const QByteArray header = "1\t1\tMeasure Device : old\n";
    writeAppFile("Record/abc", "not a workbook");
    writeAppFile("Record/abc.journal", header + "4\t1\t1\n");
    writeAppFile("Record/" + stamp + ".xls", "kept as it is");
    writeAppFile("Record/" + stamp + ".xls.journal", header + "4\t1\tfirst\n");
    // One bad line each: past the last row, past the last column, a text too long for a cell.
    writeAppFile("Record/" + stamp + "_2.xls.journal", header + "4\t1\tsecond\n2000000\t1\tx\n5\t20000\tx\n6\t1\t" +
                                                         QByteArray(40000, 'x') + "\n7\t1\t\xFF\n");
    writeAppFile("Record/2026_03_07_14_05_10_temp.xls.journal", header);
    const QString record = appDir.path() + "/Record/";
    platform::File live = platform::openForReading((record + "2026_03_07_14_05_10_temp.xls.journal").toStdString());
    ASSERT_TRUE(platform::tryLockFile(live));

    auto form = startRecorderForm();
    settleWorkbook(*form);
    const QString memo = child<QPlainTextEdit>(*form, "System_Memo")->toPlainText();
    EXPECT_TRUE(QFileInfo::exists(record + "abc.journal"));
    EXPECT_TRUE(QFileInfo::exists(record + "2026_03_07_14_05_10_temp.xls.journal")) << "a live journal was taken";
    EXPECT_FALSE(QFileInfo::exists(record + stamp + ".xls.journal"));
    EXPECT_FALSE(QFileInfo::exists(record + stamp + "_2.xls.journal"));
    EXPECT_EQ(QDir(appDir.path()).entryList({"*.xls"}, QDir::Files), QStringList{}) << "a workbook outside Record/";
    EXPECT_EQ(QDir(record).entryList({"abc*"}, QDir::Files), (QStringList{"abc", "abc.journal"}));
    QFile kept(record + stamp + ".xls");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "kept as it is");
    EXPECT_EQ(readBack(record + stamp + "_2.xls").at({4, 1}), "second");
    EXPECT_EQ(readBack(record + stamp + "_3.xls").at({4, 1}), "first");
    EXPECT_EQ(readBack(record + stamp + "_2.xls").at({7, 1}), "\xEF\xBF\xBD");
    EXPECT_TRUE(memo.contains("Recovered 2 rows of an unsaved log into " + stamp + "_2.xls; 3 cells beyond what a "
                              "worksheet holds were left out")) << memo.toStdString();
    EXPECT_TRUE(memo.contains("Recovered 1 rows of an unsaved log into " + stamp + "_3.xls")) << memo.toStdString();
}

// A Record/ that another user turned into a link would send this user's workbooks where they chose:
// the program refuses it at start-up, says so, writes nothing there and takes no journal from it.
TEST_F(Recorder, ARecordFolderThatSomeoneElseLinkedElsewhereIsRefused)
{
#ifdef _WIN32
    GTEST_SKIP() << "a junction of another user's takes an administrator to make";
#endif
    QTemporaryDir elsewhere;
    const QString lost = "2026_03_07_14_05_09_temp.xls";
    {
        QFile journal(elsewhere.path() + "/" + lost + ".journal");
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        journal.write("1\t1\tx\n");
    }
    const QString record = appDir.path() + "/Record";
    ASSERT_TRUE(QFile::link(elsewhere.path(), record));
    if (!bustest::giveToAnotherUser(record.toStdString())) GTEST_SKIP() << "cannot give a link to another user here";
    auto form = startRecorderForm();
    settleWorkbook(*form);
    const QString memo = child<QPlainTextEdit>(*form, "System_Memo")->toPlainText();
    EXPECT_TRUE(memo.contains("is a link to another place")) << memo.toStdString();
    EXPECT_FALSE(child<QCheckBox>(*form, "LogExcel_check")->isEnabled());
    EXPECT_TRUE(QFileInfo::exists(elsewhere.path() + "/" + lost + ".journal"));
    EXPECT_FALSE(QFileInfo::exists(elsewhere.path() + "/" + lost));
    EXPECT_TRUE(listed(*form).isEmpty());
}

// Records the URLs the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST_F(Recorder, DoubleClickingAListedWorkbookOpensItWithTheDesktopsProgram)
{
    writeAppFile("Record/2026_03_07_14_05_09_temp.xls", "x");
    auto form = startRecorderForm();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    auto* list = child<QListWidget>(*form, "LogList");
    ASSERT_EQ(list->count(), 1);
    const QRect entry = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    QCoreApplication::processEvents();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(form->RecordFolder + "2026_03_07_14_05_09_temp.xls"));
}

}  // namespace

#include "recorder_window_test.moc"
