#include "recorder/workbook/spreadsheet_program_win.h"

#include "recorder/workbook/spreadsheet_notes.h"
#include "recorder/workbook/xlsx_workbook_server.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

using automation::CallKind;
using automation::ErrorCode;
using automation::ObjectRef;
using automation::Value;

namespace {

constexpr std::int32_t kExcel97To2003Workbook = 56;  // xlExcel8

bool sameTextNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Every object reached through the program is one of these, so that the workbook's SaveAs, however
// deep it lies, is given what the program needs. The program's Workbooks collection hands out, at
// its first Add, the workbook made while the program was readied.
class ProgramObject final : public automation::Object {
public:
    explicit ProgramObject(ObjectRef target, Value readyWorkbook = {})
        : target_(std::move(target)), readyWorkbook_(std::move(readyWorkbook)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (kind == CallKind::Method && args.empty() && isWorkbooks_ && sameTextNoCase(member, "Add") &&
            std::holds_alternative<ObjectRef>(readyWorkbook_))
            return wrapped(std::exchange(readyWorkbook_, Value{}));
        std::vector<Value> passed;
        for (const Value& arg : args) passed.push_back(unwrapped(arg));
        if (kind == CallKind::Method && sameTextNoCase(member, "SaveAs") && passed.size() == 1 &&
            std::holds_alternative<std::string>(passed.front()))
            passed = saveAsArguments(std::get<std::string>(passed.front()));
        Value result = wrapped(target_->invoke(member, kind, passed));
        if (kind == CallKind::PropertyGet && args.empty() && sameTextNoCase(member, "Workbooks") &&
            std::holds_alternative<ObjectRef>(readyWorkbook_)) {
            const ObjectRef* collection = std::get_if<ObjectRef>(&result);
            if (auto* workbooks = collection != nullptr ? dynamic_cast<ProgramObject*>(collection->get()) : nullptr) {
                workbooks->isWorkbooks_ = true;
                workbooks->readyWorkbook_ = std::exchange(readyWorkbook_, Value{});
            }
        }
        return result;
    }

private:
    static Value wrapped(Value value)
    {
        if (const auto* object = std::get_if<ObjectRef>(&value); object != nullptr && *object != nullptr)
            return Value{ObjectRef{std::make_shared<ProgramObject>(*object)}};
        return value;
    }

    static Value unwrapped(const Value& value)
    {
        if (const auto* object = std::get_if<ObjectRef>(&value)) {
            if (const auto* program = dynamic_cast<const ProgramObject*>(object->get())) return Value{program->target_};
        }
        return value;
    }

    ObjectRef target_;
    Value readyWorkbook_;  // the application's until its Workbooks is asked for, then that collection's
    bool isWorkbooks_ = false;
};

// The program's first steps, each of which a program that cannot serve fails (no right to start it,
// no desktop for it, another office suite answering under its name): alerts off, since after
// "Discard" Quit on an unsaved workbook would otherwise wait for ever on a prompt nobody can see;
// hidden; a workbook added. Returns the workbook.
Value readyProgram(automation::Object& program)
{
    const std::array off{Value{false}};
    program.invoke("DisplayAlerts", CallKind::PropertyPut, off);
    program.invoke("Visible", CallKind::PropertyPut, off);
    const Value workbooks = program.invoke("Workbooks", CallKind::PropertyGet, {});
    return automation::call(workbooks, "Add", CallKind::Method);
}

// A program that refused one of its first steps is asked to quit and let go, whatever state it is
// in: it may not answer at all.
void quitQuietly(automation::Object& program)
{
    try {
        program.invoke("Quit", CallKind::Method, {});
    } catch (const automation::AutomationError&) {
    }
}

}  // namespace

std::vector<Value> saveAsArguments(const std::string& path)
{
    std::string windowsPath = path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    const std::string_view name = windowsPath;
    const bool xlsName = name.size() >= 4 && sameTextNoCase(name.substr(name.size() - 4), ".xls");
    std::vector<Value> arguments;
    arguments.emplace_back(std::move(windowsPath));
    if (xlsName) arguments.emplace_back(kExcel97To2003Workbook);
    return arguments;
}

ObjectRef spreadsheetProgramOrBuiltIn(const std::function<ObjectRef()>& createProgram)
{
    ObjectRef program;
    try {
        program = createProgram();
    } catch (const automation::AutomationError& error) {
        if (error.code() != ErrorCode::ClassNotRegistered)  // else no spreadsheet program on this PC
            noteAboutSpreadsheet(std::string("The spreadsheet program is installed but could not be started (") +
                                 error.what() + "): the built-in workbook writer saves the log instead.");
        return createXlsxWorkbookServer();
    }
    try {
        Value workbook = readyProgram(*program);
        return std::make_shared<ProgramObject>(std::move(program), std::move(workbook));
    } catch (const automation::AutomationError& error) {
        quitQuietly(*program);
        noteAboutSpreadsheet(std::string("The spreadsheet program started but could not open a workbook (") +
                             error.what() + "): it was closed, and the built-in workbook writer saves the log instead.");
        return createXlsxWorkbookServer();
    }
}
