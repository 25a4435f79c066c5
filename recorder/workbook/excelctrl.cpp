#include "recorder/workbook/excelctrl.h"

#include "recorder/workbook/typed_text.h"

#include <array>
#include <initializer_list>

using automation::CallKind;
using automation::Value;

// Never destroyed: a thread that made them may be left inside a call on them when the program ends
// (a spreadsheet program that stopped answering), and destroying them then would pull the objects
// from under that call. The thread releases them as it ends (ExcelRelease).
Value& ExcelApp = *new Value;
Value& ExcelWorkbooks = *new Value;
Value& ExcelWorkbook = *new Value;
Value& ExcelWorksheets = *new Value;
Value& ExcelSheet = *new Value;
Value& ExcelCell = *new Value;

void ExcelOpen()
{
    ExcelApp = automation::createObject("Excel.Application");
    const std::array hidden{Value{false}};
    automation::call(ExcelApp, "Visible", CallKind::PropertyPut, hidden);
    ExcelWorkbooks = automation::call(ExcelApp, "Workbooks", CallKind::PropertyGet);
    ExcelWorkbook = automation::call(ExcelWorkbooks, "Add", CallKind::Method);
    ExcelWorksheets = automation::call(ExcelWorkbook, "Worksheets", CallKind::PropertyGet);
    const std::array firstSheet{Value{std::int32_t{1}}};
    ExcelSheet = automation::call(ExcelWorksheets, "Item", CallKind::PropertyGet, firstSheet);
}

void ExcelSetCell(std::int32_t sheet, std::int32_t column, std::int32_t row, const std::string& text)
{
    ExcelWorksheets = automation::call(ExcelWorkbook, "Worksheets", CallKind::PropertyGet);
    const std::array sheetNumber{Value{sheet}};
    ExcelSheet = automation::call(ExcelWorksheets, "Item", CallKind::PropertyGet, sheetNumber);
    // Cells takes the row first.
    const std::array position{Value{row}, Value{column}};
    ExcelCell = automation::call(ExcelSheet, "Cells", CallKind::PropertyGet, position);
    // A text that is no number and no time goes in marked as text: a recovered journal may hold
    // anything, and a program would take "=..." as a formula, "1/2" as a date.
    const bool plainText = !text.empty() && typeOfEnteredText(text).kind == TypedText::Text;
    const std::array value{Value{plainText ? markedAsText(text) : text}};
    automation::call(ExcelCell, "Value", CallKind::PropertyPut, value);
}

void ExcelSaveAs(const std::string& path)
{
    const std::array target{Value{path}};
    automation::call(ExcelWorkbook, "SaveAs", CallKind::Method, target);
}

void ExcelQuit()
{
    // A reference kept after Quit keeps the spreadsheet program's hidden process alive until the
    // next log; released also when Quit fails, as nothing more is asked of that instance.
    struct ReleaseAfterwards {
        ~ReleaseAfterwards() { ExcelRelease(); }
    } releaseAfterwards;
    automation::call(ExcelApp, "Quit", CallKind::Method);
}

void ExcelRelease()
{
    for (Value* value : {&ExcelCell, &ExcelSheet, &ExcelWorksheets, &ExcelWorkbook, &ExcelWorkbooks, &ExcelApp})
        *value = Value{};
}
