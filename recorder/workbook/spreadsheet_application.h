// What "Excel.Application" creates unless something else is registered under it.
#pragma once

#include "recorder/workbook/automation.h"

// The spreadsheet program's application object: a registered spreadsheet program where the system
// has one, else the built-in workbook server.
automation::ObjectRef createSpreadsheetApplication();
