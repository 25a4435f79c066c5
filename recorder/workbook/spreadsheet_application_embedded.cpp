// Systems without COM: the built-in workbook server is the spreadsheet program.
#include "recorder/workbook/spreadsheet_application.h"

#include "recorder/workbook/xlsx_workbook_server.h"

automation::ObjectRef createSpreadsheetApplication()
{
    return createXlsxWorkbookServer();
}
