// Systems without COM: the built-in workbook server is the spreadsheet program.
#include "spreadsheet_application.h"

#include "xlsx_workbook_server.h"

automation::ObjectRef createSpreadsheetApplication()
{
    return createXlsxWorkbookServer();
}
