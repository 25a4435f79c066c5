#include "excelctrl.h"

#include <array>
#include <initializer_list>

using automation::CallKind;
using automation::Value;

// Defined in this order so that the program's end releases them in reverse.
Value ExcelApp;
Value ExcelWorkbooks;
Value ExcelWorkbook;
Value ExcelWorksheets;
Value ExcelSheet;
Value ExcelCell;

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
    const std::array value{Value{text}};
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
