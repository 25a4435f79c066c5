// COM late binding on Windows (and under Wine): a class every system registers, driven by member
// name with each kind of value in both directions; the failures and their texts; the message filter
// that retries calls a busy program rejects; and the spreadsheet program: its fallback to the
// built-in workbook server where none is registered or the registered one cannot be made, and what
// it is told (no alerts; SaveAs with backslashes and the format a ".xls" name stands for), shown
// through a stand-in program.
#include "recorder/workbook/com_object.h"
#include "recorder/workbook/excelctrl.h"
#include "recorder/workbook/spreadsheet_application.h"
#include "recorder/workbook/spreadsheet_notes.h"
#include "recorder/workbook/spreadsheet_program_win.h"
#include "recorder/workbook/xlsx_workbook_server.h"

#include "platform/com/com_message_filter_win.h"
#include "platform/core/utf8_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <objbase.h>

namespace {

using automation::AutomationError;
using automation::CallKind;
using automation::ErrorCode;
using automation::ObjectRef;
using automation::Value;
namespace fs = std::filesystem;

Value newDictionary()
{
    return Value{automation::createComObject("Scripting.Dictionary")};
}

Value get(const Value& object, std::string_view member, std::initializer_list<Value> args = {})
{
    return automation::call(object, member, CallKind::PropertyGet, std::span(args.begin(), args.size()));
}

void put(const Value& object, std::string_view member, std::initializer_list<Value> args)
{
    automation::call(object, member, CallKind::PropertyPut, std::span(args.begin(), args.size()));
}

Value callMethod(const Value& object, std::string_view member, std::initializer_list<Value> args = {})
{
    return automation::call(object, member, CallKind::Method, std::span(args.begin(), args.size()));
}

template <typename Call>
AutomationError failureOf(Call call)
{
    try {
        call();
    } catch (const AutomationError& error) {
        return error;
    }
    ADD_FAILURE() << "no automation error";
    return AutomationError(ErrorCode{}, "");
}

TEST(ComObject, ArgumentsReachTheServerInTheirOrderAndPropertyWritesNameTheirValue)
{
    const Value dictionary = newDictionary();
    callMethod(dictionary, "Add", {Value{std::string("key")}, Value{std::string("value")}});
    EXPECT_EQ(get(dictionary, "Count"), Value{std::int32_t{1}});
    EXPECT_EQ(callMethod(dictionary, "Exists", {Value{std::string("key")}}), Value{true});
    EXPECT_EQ(callMethod(dictionary, "Exists", {Value{std::string("value")}}), Value{false});
    EXPECT_EQ(get(dictionary, "Item", {Value{std::string("key")}}), Value{std::string("value")});

    // An indexed property write: the index first, the value last.
    put(dictionary, "Item", {Value{std::string("key")}, Value{std::int32_t{5}}});
    EXPECT_EQ(get(dictionary, "item", {Value{std::string("key")}}), Value{std::int32_t{5}});  // names ignore case
    EXPECT_EQ(get(dictionary, "Count"), Value{std::int32_t{1}});
}

TEST(ComObject, EveryKindOfValueComesBackAsItWasPassed)
{
    const Value dictionary = newDictionary();
    const Value inner = newDictionary();
    callMethod(inner, "Add", {Value{std::int32_t{1}}, Value{std::string("one")}});
    const std::string text("Gr\xC3\xBC\xC3\x9F" "e \xE2\x84\x83\0tail", 15);  // non-ASCII and a zero character
    const std::array values{Value{}, Value{std::int32_t{INT32_MIN}}, Value{std::int32_t{INT32_MAX}}, Value{true},
                            Value{false}, Value{text}, Value{std::string()}};
    for (std::int32_t key = 0; key < static_cast<std::int32_t>(values.size()); ++key)
        callMethod(dictionary, "Add", {Value{key}, values[static_cast<std::size_t>(key)]});
    callMethod(dictionary, "Add", {Value{std::string("object")}, inner});

    for (std::int32_t key = 0; key < static_cast<std::int32_t>(values.size()); ++key)
        EXPECT_EQ(get(dictionary, "Item", {Value{key}}), values[static_cast<std::size_t>(key)]) << "key " << key;
    const Value object = get(dictionary, "Item", {Value{std::string("object")}});
    ASSERT_TRUE(std::holds_alternative<ObjectRef>(object));
    EXPECT_EQ(get(object, "Item", {Value{std::int32_t{1}}}), Value{std::string("one")});
    // The same server object, not a copy: a change through one reference shows through the other.
    callMethod(inner, "Add", {Value{std::int32_t{2}}, Value{std::string("two")}});
    EXPECT_EQ(get(object, "Count"), Value{std::int32_t{2}});
}

TEST(ComObject, RefusedCallsFailWithTheirCodeAndNameTheMember)
{
    const Value dictionary = newDictionary();
    const AutomationError missing = failureOf([&] { callMethod(dictionary, "NoSuchMember"); });
    EXPECT_EQ(missing.code(), ErrorCode::MemberNotFound);
    EXPECT_NE(std::string(missing.what()).find("\"NoSuchMember\""), std::string::npos) << missing.what();

    EXPECT_EQ(failureOf([&] { put(dictionary, "Item", {}); }).code(), ErrorCode::BadParamCount);

    // The server raises an exception: its description, or what its code says when it gives none.
    callMethod(dictionary, "Add", {Value{std::string("twice")}, Value{}});
    const AutomationError refused = failureOf([&] { callMethod(dictionary, "Add", {Value{std::string("twice")}, Value{}}); });
    EXPECT_EQ(refused.code(), ErrorCode::ServerRefused);
    EXPECT_NE(std::string(refused.what()), "") << refused.what();
    EXPECT_EQ(std::string(refused.what()).find("system error"), std::string::npos) << refused.what();
    callMethod(dictionary, "RemoveAll");

    // An object of the built-in server means nothing to a COM server; the dictionary stays as it was.
    const Value foreign{createXlsxWorkbookServer()};
    EXPECT_EQ(failureOf([&] { callMethod(dictionary, "Add", {Value{std::int32_t{1}}, foreign}); }).code(),
              ErrorCode::TypeMismatch);
    EXPECT_EQ(get(dictionary, "Count"), Value{std::int32_t{0}});
}

TEST(ComObject, AnUnregisteredProgIdIsAnInvalidClassString)
{
    const AutomationError error = failureOf([] { automation::createComObject("Lumaro.NoSuchClass"); });
    EXPECT_EQ(error.code(), ErrorCode::ClassNotRegistered);
    EXPECT_STREQ(error.what(), "Invalid class string, ProgID: \"Lumaro.NoSuchClass\"");
}

TEST(ComObject, AThreadThatNeverStartedComCanCreateAndUseObjects)
{
    Value count;
    std::thread worker([&] {
        const Value dictionary = newDictionary();
        callMethod(dictionary, "Add", {Value{std::string("k")}, Value{std::string("v")}});
        count = get(dictionary, "Count");
    });
    worker.join();
    EXPECT_EQ(count, Value{std::int32_t{1}});
    // Everything released, COM left: the next object starts it again.
    EXPECT_EQ(get(newDictionary(), "Count"), Value{std::int32_t{0}});
}

// Also into folders named as users' folders are, which the ANSI code page may not hold (Cyrillic
// and Chinese letters beside a Western one): the workbook writer opens files by narrow names.
TEST(SpreadsheetProgram, WithoutOneRegisteredTheBuiltInServerWritesTheWorkbook)
{
    const AutomationError direct = failureOf([] { automation::createComObject("Excel.Application"); });
    if (direct.code() != ErrorCode::ClassNotRegistered) GTEST_SKIP() << "a spreadsheet program is registered here";

    fs::path root;
    do root = fs::temp_directory_path() / ("lumaro-com-" + std::to_string(std::random_device{}()));
    while (!fs::create_directory(root));
    for (const fs::path& folder : {root, root / u8"Zoë Müller", root / u8"Пользователь 用户"}) {
        fs::create_directories(folder);
        const fs::path path = folder / "2026_03_07_14_05_09_temp.xls";
        ExcelOpen();
        ExcelSetCell(1, 7, 3, "Fan Spped");
        ExcelSaveAs(platform::utf8String(path));
        ExcelQuit();
        ExcelRelease();  // on this thread, which made them

        std::ifstream saved(path, std::ios::binary);
        std::string signature(2, '\0');
        saved.read(signature.data(), 2);
        EXPECT_EQ(signature, "PK") << "not an Office Open XML workbook: " << platform::utf8String(path);
        saved.close();
        const auto files = std::count_if(fs::directory_iterator(folder), fs::directory_iterator(),
                                         [](const fs::directory_entry& entry) { return entry.is_regular_file(); });
        EXPECT_EQ(files, 1) << "scratch or partial files left in " << platform::utf8String(folder);
    }
    fs::remove_all(root);
}

TEST(ComMessageFilter, ARejectedCallIsTriedAgainForAFewSecondsThenGivenUp)
{
    using platform::com::retryDelayAfterRejection;
    EXPECT_GE(retryDelayAfterRejection(0, SERVERCALL_RETRYLATER), 100);  // COM waits that long, then retries
    EXPECT_GE(retryDelayAfterRejection(4000, SERVERCALL_REJECTED), 100);
    EXPECT_EQ(retryDelayAfterRejection(platform::com::kRetryRejectedForMs, SERVERCALL_RETRYLATER), -1);
    EXPECT_EQ(retryDelayAfterRejection(0, SERVERCALL_ISHANDLED), -1);
}

TEST(ComMessageFilter, AThreadHoldingObjectsHasTheFilterAndGetsItsOwnBackAfterwards)
{
    std::thread worker([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        const auto currentFilter = [] {
            IMessageFilter* current = nullptr;
            CoRegisterMessageFilter(nullptr, &current);
            CoRegisterMessageFilter(current, nullptr);  // put back
            if (current != nullptr) current->Release();
            return current;
        };
        EXPECT_EQ(currentFilter(), nullptr);
        {
            const Value dictionary = newDictionary();
            IMessageFilter* filter = nullptr;
            CoRegisterMessageFilter(nullptr, &filter);
            ASSERT_NE(filter, nullptr);
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, 1000, SERVERCALL_RETRYLATER),
                      static_cast<DWORD>(platform::com::kRetryRejectedPauseMs));
            EXPECT_EQ(filter->RetryRejectedCall(nullptr, 60000, SERVERCALL_RETRYLATER), 0xFFFFFFFFu);
            CoRegisterMessageFilter(filter, nullptr);
            filter->Release();
        }
        EXPECT_EQ(currentFilter(), nullptr);
        CoUninitialize();
    });
    worker.join();
}

// A class registered under progId whose object cannot be made: nothing is registered to serve it,
// or the program named to serve it is not there. Registered for the current user, as a normal user
// can; Wine reads classes only from the machine's part, where it is written too.
class UnmakeableClass {
public:
    UnmakeableClass(const std::wstring& progId, const wchar_t* localServer) : progId_(progId)
    {
        GUID id{};
        CoCreateGuid(&id);
        wchar_t text[64] = {};
        StringFromGUID2(id, text, 64);
        classId_ = text;
        registerUnder(HKEY_CURRENT_USER, L"Software\\Classes\\", localServer);
        CLSID found{};
        if (FAILED(CLSIDFromProgID(progId_.c_str(), &found))) registerUnder(HKEY_CLASSES_ROOT, L"", localServer);
    }
    ~UnmakeableClass()
    {
        for (const auto& [root, prefix] : registered_) {
            RegDeleteTreeW(root, (prefix + progId_).c_str());
            RegDeleteTreeW(root, (prefix + L"CLSID\\" + classId_).c_str());
        }
    }
    UnmakeableClass(const UnmakeableClass&) = delete;
    UnmakeableClass& operator=(const UnmakeableClass&) = delete;

private:
    void registerUnder(HKEY root, const std::wstring& prefix, const wchar_t* localServer)
    {
        registered_.emplace_back(root, prefix);
        const std::wstring classKey = prefix + L"CLSID\\" + classId_;
        setValue(root, prefix + progId_ + L"\\CLSID", classId_);
        setValue(root, classKey, L"Lumaro test class");
        if (localServer != nullptr) setValue(root, classKey + L"\\LocalServer32", localServer);
    }

    static void setValue(HKEY root, const std::wstring& key, const std::wstring& value)
    {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr), ERROR_SUCCESS);
        RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(opened);
    }

    std::wstring progId_;
    std::wstring classId_;
    std::vector<std::pair<HKEY, std::wstring>> registered_;
};

TEST(SpreadsheetProgram, ARegisteredProgramThatCannotBeMadeIsReplacedByTheBuiltInServerAndThatIsNoted)
{
    std::vector<std::string> notes;
    setSpreadsheetNoteSink([&](const std::string& note) { notes.push_back(note); });
    const UnmakeableClass withoutServer(L"Lumaro.SheetWithoutServer", nullptr);
    const UnmakeableClass missingProgram(L"Lumaro.SheetWithoutProgram", L"C:\\no\\such\\folder\\sheet.exe");

    const AutomationError notMade = failureOf([] { automation::createComObject("Lumaro.SheetWithoutServer"); });
    EXPECT_EQ(notMade.code(), ErrorCode::ClassNotMade) << notMade.what();
    for (const char* progId : {"Lumaro.SheetWithoutServer", "Lumaro.SheetWithoutProgram"}) {
        notes.clear();
        const Value program{spreadsheetProgramOrBuiltIn([progId] { return automation::createComObject(progId); })};
        const Value workbooks = get(program, "Workbooks");  // the built-in server answers
        EXPECT_TRUE(std::holds_alternative<ObjectRef>(callMethod(workbooks, "Add"))) << progId;
        ASSERT_EQ(notes.size(), 1u) << progId;
        EXPECT_NE(notes[0].find("could not be started"), std::string::npos) << notes[0];
        EXPECT_NE(notes[0].find(progId), std::string::npos) << notes[0];
    }

    // A program that does not start (Wine answers a missing server program as above, Windows may
    // answer so).
    notes.clear();
    EXPECT_NE(spreadsheetProgramOrBuiltIn([]() -> ObjectRef {
                  throw AutomationError(ErrorCode::ServerNotStarted, "Server execution failed, ProgID: \"Excel.Application\"");
              }),
              nullptr);
    EXPECT_EQ(notes.size(), 1u);

    // Nothing registered at all is the usual PC without a spreadsheet program: no note.
    notes.clear();
    EXPECT_NE(spreadsheetProgramOrBuiltIn([] { return automation::createComObject("Lumaro.NoSuchClass"); }), nullptr);
    EXPECT_TRUE(notes.empty());
    // Any other failure to make it (no right to start it, another office suite under its name) too.
    for (const std::uint32_t code : {0x80070005u, 0x8000401Au, 0x800700C1u, 0x80020009u}) {
        notes.clear();
        const Value program{spreadsheetProgramOrBuiltIn([code]() -> ObjectRef {
            throw AutomationError(static_cast<ErrorCode>(code), "Refused, ProgID: \"Excel.Application\"");
        })};
        EXPECT_TRUE(std::holds_alternative<ObjectRef>(callMethod(get(program, "Workbooks"), "Add"))) << std::hex << code;
        ASSERT_EQ(notes.size(), 1u) << std::hex << code;
        EXPECT_NE(notes[0].find("Refused"), std::string::npos) << notes[0];
    }
    setSpreadsheetNoteSink({});
}

// Answers every call with a new object named after the member and writes the call down as
// "Object.Member kind(args)".
class RecordingProgram final : public automation::Object {
public:
    RecordingProgram(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), log_(std::move(log)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        static const char* const kinds[] = {"get", "put", "call"};
        std::string line = name_ + '.' + std::string(member) + ' ' + kinds[static_cast<int>(kind)] + '(';
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (i > 0) line += ',';
            if (const auto* text = std::get_if<std::string>(&args[i])) line += '"' + *text + '"';
            if (const auto* number = std::get_if<std::int32_t>(&args[i])) line += std::to_string(*number);
            if (const auto* flag = std::get_if<bool>(&args[i])) line += *flag ? "true" : "false";
        }
        log_->push_back(line + ')');
        if (kind == CallKind::PropertyPut) return Value{};
        return Value{ObjectRef{std::make_shared<RecordingProgram>(std::string(member), log_)}};
    }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> log_;
};

// A program that refuses the call to one member (and may refuse its Quit too): what it was asked is
// written down as RecordingProgram does.
class RefusingProgram final : public automation::Object {
public:
    RefusingProgram(std::string name, std::string refused, bool refusesQuit, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), refused_(std::move(refused)), refusesQuit_(refusesQuit), log_(std::move(log)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        log_->push_back(name_ + '.' + std::string(member));
        if (member == refused_ || (member == "Quit" && refusesQuit_))
            throw AutomationError(static_cast<ErrorCode>(0x8000401Au), "The server process could not be started");
        if (kind == CallKind::PropertyPut || args.size() > 0) return Value{};
        return Value{ObjectRef{std::make_shared<RefusingProgram>(std::string(member), refused_, refusesQuit_, log_)}};
    }

private:
    std::string name_;
    std::string refused_;
    bool refusesQuit_;
    std::shared_ptr<std::vector<std::string>> log_;
};

TEST(SpreadsheetProgram, AProgramThatRefusesItsFirstStepsIsClosedAndTheBuiltInServerWritesInstead)
{
    std::vector<std::string> notes;
    setSpreadsheetNoteSink([&](const std::string& note) { notes.push_back(note); });
    for (const char* refused : {"DisplayAlerts", "Visible", "Workbooks", "Add"}) {
        for (const bool refusesQuit : {false, true}) {
            notes.clear();
            const auto calls = std::make_shared<std::vector<std::string>>();
            std::weak_ptr<automation::Object> made;
            const Value program{spreadsheetProgramOrBuiltIn([&] {
                auto application = std::make_shared<RefusingProgram>("Application", refused, refusesQuit, calls);
                made = application;
                return application;
            })};
            EXPECT_EQ(calls->back(), "Application.Quit") << refused;
            EXPECT_TRUE(made.expired()) << "the refusing program is let go (" << refused << ")";
            ASSERT_EQ(notes.size(), 1u) << refused;
            EXPECT_NE(notes[0].find("The server process could not be started"), std::string::npos) << notes[0];
            EXPECT_NE(notes[0].find("built-in workbook writer"), std::string::npos) << notes[0];
            // The built-in server answers, and the program is asked nothing more.
            const std::size_t asked = calls->size();
            EXPECT_TRUE(std::holds_alternative<ObjectRef>(callMethod(get(program, "Workbooks"), "Add"))) << refused;
            EXPECT_EQ(calls->size(), asked);
        }
    }
    setSpreadsheetNoteSink({});
}

TEST(SpreadsheetProgram, IsToldNoAlertsAndASaveAsGetsBackslashesAndTheFormatOfAnXlsName)
{
    const auto calls = std::make_shared<std::vector<std::string>>();
    automation::registerClass("Excel.Application", [calls] {
        return spreadsheetProgramOrBuiltIn([calls] { return std::make_shared<RecordingProgram>("Application", calls); });
    });
    ExcelOpen();
    ASSERT_GE(calls->size(), 2u);
    EXPECT_EQ((*calls)[0], "Application.DisplayAlerts put(false)");
    EXPECT_EQ((*calls)[1], "Application.Visible put(false)");
    // The workbook added while the program was readied is the one the writer gets: only one is made.
    EXPECT_EQ(std::count(calls->begin(), calls->end(), "Workbooks.Add call()"), 1);
    calls->clear();
    ExcelSaveAs("C:/Users/Zo\xC3\xAB M\xC3\xBCller/Record/2026_03_07_14_05_09_temp.xls");
    ExcelQuit();
    EXPECT_EQ(*calls, (std::vector<std::string>{
                          "Add.SaveAs call(\"C:\\Users\\Zo\xC3\xAB M\xC3\xBCller\\Record\\2026_03_07_14_05_09_temp.xls\",56)",
                          "Application.Quit call()"}));
    EXPECT_FALSE(std::holds_alternative<ObjectRef>(ExcelApp)) << "released right after Quit";
    automation::registerClass("Excel.Application", &createSpreadsheetApplication);

    EXPECT_EQ(saveAsArguments("D:\\Logs\\LOG.XLS"), (std::vector<Value>{Value{std::string("D:\\Logs\\LOG.XLS")},
                                                                       Value{std::int32_t{56}}}));
    EXPECT_EQ(saveAsArguments("D:/Logs/log.xlsx"), std::vector<Value>{Value{std::string("D:\\Logs\\log.xlsx")}});
    EXPECT_EQ(saveAsArguments("D:/Logs/log.xls.bak"), std::vector<Value>{Value{std::string("D:\\Logs\\log.xls.bak")}});
}

}  // namespace
