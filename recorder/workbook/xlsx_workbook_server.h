// A stand-in for a spreadsheet program, answering the automation calls the workbook writer makes:
// Application (Visible, Workbooks, Quit), Workbooks (Add), Workbook (Worksheets, SaveAs),
// Worksheets (Item, Count), Worksheet (Cells), Range (Value). Member names are matched without
// regard to case, as automation does. Workbooks live in memory until SaveAs writes them as Office
// Open XML (.xlsx content, whatever the file name says); after Quit every object of the instance
// refuses calls. A text assigned to a cell is taken as if typed (see typed_text.h): the saved file
// holds numbers and times where the program would, and its columns are wide enough to show them.
#pragma once

#include "recorder/workbook/automation.h"

// A new application object with no workbooks, hidden.
automation::ObjectRef createXlsxWorkbookServer();
