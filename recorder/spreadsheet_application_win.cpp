// Windows: the spreadsheet program registered with COM, so that a PC that has one gets its workbooks
// from it; the built-in workbook server on every PC that has none.
#include "spreadsheet_application.h"

#include "com_object.h"
#include "xlsx_workbook_server.h"

automation::ObjectRef createSpreadsheetApplication()
{
    try {
        return automation::createComObject("Excel.Application");
    } catch (const automation::AutomationError& error) {
        // Any other failure is a spreadsheet program that is there but does not start: say so.
        if (error.code() != automation::ErrorCode::ClassNotRegistered) throw;
    }
    return createXlsxWorkbookServer();
}
