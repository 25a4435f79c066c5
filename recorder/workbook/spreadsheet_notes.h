// Notes about the spreadsheet program and its workbooks for the system log, made on the thread that
// drives it (that the registered program could not be made and the built-in workbook server took its
// place; that the workbooks' folder cannot be handed to the disk). Each
// thread says where its own notes go; a thread that says nothing drops them.
#pragma once

#include <functional>
#include <string>

using SpreadsheetNoteSink = std::function<void(const std::string& note)>;

// Where the calling thread's notes go from now on; an empty sink drops them.
void setSpreadsheetNoteSink(SpreadsheetNoteSink sink);

void noteAboutSpreadsheet(const std::string& note);
