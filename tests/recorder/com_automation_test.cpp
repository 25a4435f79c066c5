// COM late binding on Windows (and under Wine): a class every system registers, driven by member
// name with each kind of value in both directions; the failures and their texts; and the spreadsheet
// program's fallback to the built-in workbook server where none is registered.
#include "com_object.h"
#include "excelctrl.h"
#include "xlsx_workbook_server.h"

#include "platform/utf8_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

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

}  // namespace
