#include "recorder/workbook/spreadsheet_program_win.h"

#include "recorder/workbook/spreadsheet_notes.h"
#include "recorder/workbook/xlsx_workbook_server.h"

#include <algorithm>
#include <array>
#include <cctype>

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
// deep it lies, is given what the program needs.
class ProgramObject final : public automation::Object {
public:
    explicit ProgramObject(ObjectRef target) : target_(std::move(target)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        std::vector<Value> passed;
        for (const Value& arg : args) passed.push_back(unwrapped(arg));
        if (kind == CallKind::Method && sameTextNoCase(member, "SaveAs") && passed.size() == 1 &&
            std::holds_alternative<std::string>(passed.front()))
            passed = saveAsArguments(std::get<std::string>(passed.front()));
        return wrapped(target_->invoke(member, kind, passed));
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
};

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
        switch (error.code()) {
        case ErrorCode::ClassNotRegistered:  // no spreadsheet program on this PC
            return createXlsxWorkbookServer();
        case ErrorCode::ClassNotMade:
        case ErrorCode::ServerNotStarted:
            noteAboutSpreadsheet(std::string("The spreadsheet program is installed but could not be started (") +
                                 error.what() + "): the built-in workbook writer saves the log instead.");
            return createXlsxWorkbookServer();
        default:
            throw;
        }
    }
    // After "Discard", Quit on an unsaved workbook would otherwise wait for ever on a "save changes?"
    // prompt nobody can see.
    const std::array alertsOff{Value{false}};
    program->invoke("DisplayAlerts", CallKind::PropertyPut, alertsOff);
    return std::make_shared<ProgramObject>(std::move(program));
}
