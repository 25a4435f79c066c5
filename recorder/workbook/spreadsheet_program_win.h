// Windows: the registered spreadsheet program, readied for the workbook writer, or the built-in
// workbook server in its place.
#pragma once

#include "recorder/workbook/automation.h"

#include <functional>
#include <string>
#include <vector>

// The application object that createProgram makes, with the program's alerts off and its SaveAs
// given saveAsArguments; the built-in workbook server where createProgram finds no spreadsheet
// program registered, or one registered that cannot be made (noted for the system log through
// spreadsheet_notes.h). Other failures are thrown on.
automation::ObjectRef spreadsheetProgramOrBuiltIn(const std::function<automation::ObjectRef()>& createProgram);

// What SaveAs is given for path: the path with the system's separator "\", and for a name ending in
// ".xls" the file format 56 (the 97-2003 workbook) as the second argument, so that the program
// writes what the name says instead of warning at every open that they do not match.
std::vector<automation::Value> saveAsArguments(const std::string& path);
