// Windows: the spreadsheet program registered with COM, so that a PC that has one gets its workbooks
// from it; the built-in workbook server on every PC that has none, or whose program cannot be made.
#include "recorder/workbook/spreadsheet_application.h"

#include "recorder/workbook/com_object.h"
#include "recorder/workbook/spreadsheet_program_win.h"

automation::ObjectRef createSpreadsheetApplication()
{
    return spreadsheetProgramOrBuiltIn([] { return automation::createComObject("Excel.Application"); });
}
