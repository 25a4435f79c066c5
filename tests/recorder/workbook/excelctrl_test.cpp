// The workbook writer: which automation calls it makes, in which order and with which arguments
// (against a server that records them), how it fails, and the workbook the stand-in server saves,
// read back by an independent reader.
#include "recorder/workbook/excelctrl.h"
#include "xlsx_reader.h"
#include "recorder/workbook/xlsx_workbook_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using automation::AutomationError;
using automation::CallKind;
using automation::ErrorCode;
using automation::ObjectRef;
using automation::Value;
namespace fs = std::filesystem;

std::string describe(const Value& value)
{
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const auto* text = std::get_if<std::string>(&value)) return '"' + *text + '"';
    return "?";
}

// Answers every call with a new object named after the member and writes the call down as
// "Object.Member kind(args)".
class RecordingObject final : public automation::Object {
public:
    RecordingObject(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), log_(std::move(log)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        static const char* const kinds[] = {"get", "put", "call"};
        std::string line = name_ + '.' + std::string(member) + ' ' + kinds[static_cast<int>(kind)] + '(';
        for (std::size_t i = 0; i < args.size(); ++i) line += (i > 0 ? "," : "") + describe(args[i]);
        log_->push_back(line + ')');
        if (kind == CallKind::PropertyPut) return Value{};
        return Value{ObjectRef{std::make_shared<RecordingObject>(std::string(member), log_)}};
    }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> log_;
};

const automation::Object* objectIn(const Value& value)
{
    const auto* object = std::get_if<ObjectRef>(&value);
    return object != nullptr ? object->get() : nullptr;
}

// A fresh folder of its own, so that builds testing side by side do not meet.
fs::path uniqueFolder()
{
    std::string pattern = (fs::temp_directory_path() / "excelctrl-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
}

class ExcelctrlTest : public ::testing::Test {
protected:
    void SetUp() override { ExcelRelease(); }
    void TearDown() override
    {
        ExcelRelease();
        automation::registerClass("Excel.Application", &createXlsxWorkbookServer);
        fs::remove_all(folder);
    }

    void useRecordingServer()
    {
        automation::registerClass("Excel.Application", [log = calls] {
            log->push_back("created");
            return std::make_shared<RecordingObject>("Application", log);
        });
    }

    template <typename Call>
    static ErrorCode failureOf(Call call)
    {
        try {
            call();
        } catch (const AutomationError& error) {
            return error.code();
        }
        ADD_FAILURE() << "no automation error";
        return ErrorCode{};
    }

    std::shared_ptr<std::vector<std::string>> calls = std::make_shared<std::vector<std::string>>();
    fs::path folder = uniqueFolder();
};

TEST_F(ExcelctrlTest, EachOperationMakesItsCallsByNameInOrderWithTheCellsRowFirst)
{
    useRecordingServer();
    ExcelOpen();
    EXPECT_EQ(*calls, (std::vector<std::string>{"created", "Application.Visible put(false)", "Application.Workbooks get()",
                                                "Workbooks.Add call()", "Add.Worksheets get()", "Worksheets.Item get(1)"}));
    calls->clear();
    ExcelSetCell(1, 7, 3, "Fan Spped");
    ExcelSetCell(2, 1, 65538, "-5");
    ExcelSetCell(2, 2, 65538, "=HYPERLINK(\"x\")");
    ExcelSaveAs("/logs/2026_03_07_14_05_09_temp.xls");
    ExcelQuit();
    // A number goes as typed; any other text marked as text, so that no program takes it for a formula.
    EXPECT_EQ(*calls, (std::vector<std::string>{
                          "Add.Worksheets get()", "Worksheets.Item get(1)", "Item.Cells get(3,7)", "Cells.Value put(\"'Fan Spped\")",
                          "Add.Worksheets get()", "Worksheets.Item get(2)", "Item.Cells get(65538,1)", "Cells.Value put(\"-5\")",
                          "Add.Worksheets get()", "Worksheets.Item get(2)", "Item.Cells get(65538,2)",
                          "Cells.Value put(\"'=HYPERLINK(\"x\")\")",
                          "Add.SaveAs call(\"/logs/2026_03_07_14_05_09_temp.xls\")", "Application.Quit call()"}));
    // Quit releases every reference: none keeps a hidden program alive.
    for (const Value* value : {&ExcelApp, &ExcelWorkbooks, &ExcelWorkbook, &ExcelWorksheets, &ExcelSheet, &ExcelCell})
        EXPECT_EQ(objectIn(*value), nullptr);
}

TEST_F(ExcelctrlTest, AQuitTheProgramRefusesStillReleasesEveryReference)
{
    ExcelOpen();
    const Value app = ExcelApp;
    automation::call(app, "Quit", CallKind::Method);  // gone before the writer asks
    EXPECT_EQ(failureOf([] { ExcelQuit(); }), ErrorCode::Disconnected);
    for (const Value* value : {&ExcelApp, &ExcelWorkbooks, &ExcelWorkbook, &ExcelWorksheets, &ExcelSheet, &ExcelCell})
        EXPECT_EQ(objectIn(*value), nullptr);
}

TEST_F(ExcelctrlTest, WithoutASpreadsheetProgramOpenFailsNamingTheProgIdAndKeepsTheValues)
{
    useRecordingServer();
    ExcelOpen();
    const automation::Object* app = objectIn(ExcelApp);
    const automation::Object* sheet = objectIn(ExcelSheet);
    automation::registerClass("Excel.Application", {});
    try {
        ExcelOpen();
        FAIL() << "opened without a program";
    } catch (const AutomationError& error) {
        EXPECT_EQ(error.code(), ErrorCode::ClassNotRegistered);
        EXPECT_STREQ(error.what(), "Invalid class string, ProgID: \"Excel.Application\"");
    }
    EXPECT_EQ(objectIn(ExcelApp), app);
    EXPECT_EQ(objectIn(ExcelSheet), sheet);
}

TEST_F(ExcelctrlTest, ASecondOpenReplacesTheInstanceAndReleasesTheFirstWithoutQuitting)
{
    useRecordingServer();
    ExcelOpen();
    const std::weak_ptr<automation::Object> first = std::get<ObjectRef>(ExcelApp);
    calls->clear();
    ExcelOpen();
    EXPECT_TRUE(first.expired());
    EXPECT_EQ(std::count(calls->begin(), calls->end(), "Application.Quit call()"), 0);
}

TEST_F(ExcelctrlTest, CallsWithoutAnOpenInstanceFailAndWriteNothing)
{
    const std::string path = (folder / "never.xls").string();
    EXPECT_EQ(failureOf([] { ExcelSetCell(1, 1, 1, "x"); }), ErrorCode::NoObject);
    EXPECT_EQ(failureOf([&] { ExcelSaveAs(path); }), ErrorCode::NoObject);
    EXPECT_EQ(failureOf([] { ExcelQuit(); }), ErrorCode::NoObject);

    // After a quit nothing is held, and a reference kept elsewhere answers nothing either.
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "kept?");
    const Value keptWorkbook = ExcelWorkbook;
    ExcelQuit();
    EXPECT_EQ(failureOf([] { ExcelSetCell(1, 1, 2, "x"); }), ErrorCode::NoObject);
    EXPECT_EQ(failureOf([&] { ExcelSaveAs(path); }), ErrorCode::NoObject);
    EXPECT_EQ(failureOf([] { ExcelQuit(); }), ErrorCode::NoObject);
    const std::array target{Value{path}};
    EXPECT_EQ(failureOf([&] { automation::call(keptWorkbook, "SaveAs", CallKind::Method, target); }),
              ErrorCode::Disconnected);
    EXPECT_TRUE(fs::is_empty(folder));
}

class StandInWorkbook : public ExcelctrlTest {
protected:
    void SetUp() override
    {
        ExcelctrlTest::SetUp();
        if (!lumaro::test::xlsxReaderAvailable()) GTEST_SKIP() << "no python3 with openpyxl (scripts/setup installs it)";
    }
};

TEST_F(StandInWorkbook, SavedFileHoldsWhatTheTextsSayNumbersAndTimesAsValuesAtTheirRowsAndColumns)
{
    const std::string path = (folder / "2026_03_07_14_05_09_temp.xls").string();
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "Measure Device : Tessaray TC-100");
    ExcelSetCell(1, 7, 3, "Fan Spped");
    ExcelSetCell(1, 3, 4, "-5");
    ExcelSetCell(1, 20, 4, "65535");
    ExcelSetCell(1, 5, 4, "first");
    ExcelSetCell(1, 5, 4, "23");      // the last write wins
    ExcelSetCell(1, 6, 4, "36.5");
    ExcelSetCell(1, 1, 65538, "14:05:09");
    ExcelSetCell(1, 2, 5, "gone");
    ExcelSetCell(1, 2, 5, "");        // an empty text empties the cell
    ExcelSetCell(1, 3, 5, "1e5");     // not a plain number: kept as typed
    ExcelSaveAs(path);
    ExcelQuit();

    const auto cells = lumaro::test::readFirstSheet(path);
    ASSERT_TRUE(cells.has_value());
    EXPECT_EQ(*cells, (lumaro::test::SheetCells{{{1, 1}, "Measure Device : Tessaray TC-100"},
                                               {{3, 7}, "Fan Spped"},
                                               {{4, 3}, "int:-5"},
                                               {{4, 5}, "int:23"},
                                               {{4, 6}, "float:36.5"},
                                               {{4, 20}, "int:65535"},
                                               {{5, 3}, "1e5"},
                                               {{65538, 1}, "time:14:05:09"}}));
    EXPECT_FALSE(fs::exists(path + ".saving"));
}

TEST_F(StandInWorkbook, ColumnsAreWideEnoughForTheirValuesWhileATextWithRoomToItsRightRunsOn)
{
    const std::string path = (folder / "widths.xls").string();
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "Measure Device : Tessaray TC-100");  // B1 is empty: shown across it
    ExcelSetCell(1, 1, 4, "14:05:09");
    ExcelSetCell(1, 3, 3, "Ambient temperature");  // D3 is filled: needs its own room
    ExcelSetCell(1, 4, 3, "x");
    ExcelSetCell(1, 5, 4, "-1234567890.125");
    ExcelSetCell(1, 6, 4, "7");
    ExcelSaveAs(path);
    ExcelQuit();

    const std::map<int, double> widths = lumaro::test::readColumnWidths(path);
    EXPECT_GE(widths.count(1) ? widths.at(1) : 0.0, 9.0) << "a time of day with its margins";
    EXPECT_LT(widths.count(1) ? widths.at(1) : 0.0, 20.0) << "not as wide as the title that runs on";
    EXPECT_GE(widths.count(3) ? widths.at(3) : 0.0, 19.0);
    EXPECT_GE(widths.count(5) ? widths.at(5) : 0.0, 15.0);
    EXPECT_EQ(widths.count(4) + widths.count(6), 0u) << "narrow columns keep the usual width";
}

TEST_F(StandInWorkbook, SavingOverAFileReplacesItAndAFailedSaveTellsWhyAndWritesNothing)
{
    const std::string path = (folder / "log.xls").string();
    std::ofstream(path) << "older";
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "new");
    ExcelSaveAs(path);
    EXPECT_EQ(lumaro::test::readFirstSheet(path), (lumaro::test::SheetCells{{{1, 1}, "new"}}));

    const std::string unwritable = (folder / "missing" / "log.xls").string();
    try {
        ExcelSaveAs(unwritable);
        FAIL() << "saved into a missing folder";
    } catch (const AutomationError& error) {
        EXPECT_EQ(error.code(), ErrorCode::ServerRefused);
        EXPECT_NE(std::string(error.what()).find(unwritable), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST_F(StandInWorkbook, TextsThatLookLikeFormulasOrAreMarkedAsTextKeepTheirExactText)
{
    const std::string path = (folder / "texts.xls").string();
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "=1+2");
    ExcelSetCell(1, 2, 1, "@SUM(A1)");
    ExcelSetCell(1, 3, 1, "'quoted");
    ExcelSetCell(1, 4, 1, "-");
    ExcelSetCell(1, 5, 1, "+5");
    ExcelSaveAs(path);
    ExcelQuit();
    EXPECT_EQ(lumaro::test::readFirstSheet(path), (lumaro::test::SheetCells{{{1, 1}, "=1+2"},
                                                                           {{1, 2}, "@SUM(A1)"},
                                                                           {{1, 3}, "'quoted"},
                                                                           {{1, 4}, "-"},
                                                                           {{1, 5}, "int:5"}}));
}

TEST_F(StandInWorkbook, ACellsLimitCountsCharactersNotBytes)
{
    std::string accented;
    for (int i = 0; i < 20000; ++i) accented += "\xC3\xA9";  // 20,000 characters, 40,000 bytes
    ExcelOpen();
    ExcelSetCell(1, 1, 1, accented);
    EXPECT_EQ(failureOf([] { ExcelSetCell(1, 1, 2, std::string(32768, 'x')); }), ErrorCode::ServerRefused);
    ExcelSetCell(1, 1, 3, std::string(32767, 'x'));
    const std::string path = (folder / "long.xls").string();
    ExcelSaveAs(path);
    ExcelQuit();
    const auto cells = lumaro::test::readFirstSheet(path);
    ASSERT_TRUE(cells.has_value());
    EXPECT_EQ(cells->size(), 2u);
    EXPECT_EQ(cells->at({1, 1}), accented);
}

// A planted link where the partial workbook once went (a name known ahead) is neither followed nor
// replaced, and no partial file is left beside the workbook.
TEST_F(StandInWorkbook, TheWorkbookIsWrittenUnderAFreshNameAndAPlantedLinkIsNotFollowed)
{
    const fs::path path = folder / "2026_03_07_14_05_09_temp.xls";
    const fs::path victim = folder / "victim.txt";
    std::ofstream(victim) << "keep";
    std::error_code linkError;
    fs::create_symlink(victim, fs::path(path.string() + ".saving"), linkError);
    ExcelOpen();
    ExcelSetCell(1, 1, 1, "Measure Device : Tessaray TC-100");
    ExcelSaveAs(path.string());
    ExcelQuit();
    EXPECT_EQ(lumaro::test::readFirstSheet(path.string()),
              (lumaro::test::SheetCells{{{1, 1}, "Measure Device : Tessaray TC-100"}}));
    std::ifstream kept(victim);
    std::stringstream text;
    text << kept.rdbuf();
    EXPECT_EQ(text.str(), "keep");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{path.filename().string(), "victim.txt"};
    if (!linkError) expected.insert(expected.begin() + 1, path.filename().string() + ".saving");
    EXPECT_EQ(names, expected);
}

// The resident memory of this process, where the system tells it; 0 elsewhere.
std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    if (!(statm >> pages >> resident)) return 0;
    return resident * 4096;
}

// A cell far to the right takes no more room than one at the left: a damaged journal with cells
// in the last column must not exhaust memory.
TEST_F(ExcelctrlTest, CellsInTheLastColumnTakeNoRoomForTheColumnsBeforeThem)
{
    if (residentBytes() == 0) GTEST_SKIP() << "no /proc/self/statm here";
    ExcelOpen();
    const std::size_t before = residentBytes();
    for (std::int32_t row = 1; row <= 2000; ++row) ExcelSetCell(1, 16384, row, "1");
    const std::size_t grown = residentBytes() - std::min(before, residentBytes());
    EXPECT_LT(grown, std::size_t{40} << 20) << "2,000 cells took " << (grown >> 20) << " MiB";
    ExcelQuit();
}

// A spreadsheet program that stopped answering in a save, as one that the window gave up waiting
// for at exit: the save never returns. Its objects end the test process with code 3 when they are
// destroyed while that call is still inside them.
class HangingObject final : public automation::Object, public std::enable_shared_from_this<HangingObject> {
public:
    static inline std::atomic<int> savesInside{0};
    ~HangingObject() override
    {
        if (savesInside > 0) std::_Exit(3);
    }
    Value invoke(std::string_view member, CallKind kind, std::span<const Value>) override
    {
        if (member == "SaveAs") {
            ++savesInside;
            for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (kind == CallKind::PropertyPut) return Value{};
        return Value{ObjectRef{shared_from_this()}};
    }
};

TEST(ExcelctrlExit, TheProgramEndsCleanlyWhileAThreadIsLeftInsideASave)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            automation::registerClass("Excel.Application", [] { return std::make_shared<HangingObject>(); });
            ExcelOpen();
            std::thread([] { ExcelSaveAs("never.xls"); }).detach();
            while (HangingObject::savesInside == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
