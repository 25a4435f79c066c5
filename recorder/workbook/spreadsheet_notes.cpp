#include "recorder/workbook/spreadsheet_notes.h"

namespace {

thread_local SpreadsheetNoteSink threadSink;

}  // namespace

void setSpreadsheetNoteSink(SpreadsheetNoteSink sink) { threadSink = std::move(sink); }

void noteAboutSpreadsheet(const std::string& note)
{
    if (threadSink) threadSink(note);
}
