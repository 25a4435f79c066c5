// Windows: the registered spreadsheet program, readied for the workbook writer, or the built-in
// workbook server in its place.
#pragma once

#include "recorder/workbook/automation.h"

#include <functional>
#include <string>
#include <vector>

// The application object that createProgram makes, with the program's alerts off, hidden, its first
// workbook added (handed out by its Workbooks collection's first Add) and its SaveAs given
// saveAsArguments; the built-in workbook server where createProgram finds no spreadsheet program
// registered, and also where the one registered fails to be made or to take any of those first
// steps, which is noted for the system log (spreadsheet_notes.h) after that program was asked to
// quit and was let go.
automation::ObjectRef spreadsheetProgramOrBuiltIn(const std::function<automation::ObjectRef()>& createProgram);

// What SaveAs is given for path: the path with the system's separator "\", and for a name ending in
// ".xls" the file format 56 (the 97-2003 workbook) as the second argument, so that the program
// writes what the name says instead of warning at every open that they do not match.
std::vector<automation::Value> saveAsArguments(const std::string& path);
