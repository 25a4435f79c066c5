// Excelctrl: builds a workbook cell by cell in a spreadsheet program and saves it under a path, for
// the temperature recorder. Every step is a late-bound automation call by member name; the writer
// catches nothing, so a refused call ends the caller's handler with an automation::AutomationError.
//
// One instance at a time: ExcelOpen, any number of ExcelSetCell, ExcelSaveAs, ExcelQuit.
#pragma once

#include "recorder/workbook/automation.h"

#include <cstdint>
#include <string>

// The instance, held between calls. Empty at program start; ExcelQuit releases them (in reverse
// order, as ExcelRelease does); a second ExcelOpen replaces them; the program's end leaves them alone.
extern automation::Value& ExcelApp;
extern automation::Value& ExcelWorkbooks;
extern automation::Value& ExcelWorkbook;
extern automation::Value& ExcelWorksheets;
extern automation::Value& ExcelSheet;
extern automation::Value& ExcelCell;

// Starts a hidden spreadsheet program with one new workbook. When the program cannot be created the
// six values keep what they held.
void ExcelOpen();

// Sets the cell at column and row (counted from 1) of worksheet `sheet` to text.
void ExcelSetCell(std::int32_t sheet, std::int32_t column, std::int32_t row, const std::string& text);

// Saves the workbook under path (full path with file name). The built-in workbook server writes an
// Office Open XML workbook; a spreadsheet program is asked for the format a ".xls" name stands for.
void ExcelSaveAs(const std::string& path);

// Ends the instance's program and releases the six values, also when the program refuses to end.
void ExcelQuit();

// Releases the six values in reverse order. A spreadsheet program's objects are released on the
// thread that made them, so a thread that made them calls this before it ends.
void ExcelRelease();
