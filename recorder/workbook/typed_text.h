// What a spreadsheet program makes of a text typed into a cell: a whole or decimal number stays a
// number, a clock time "h:mm:ss" becomes a time of day, anything else stays text. Pure, so the
// server and its tests share one rule.
#pragma once

#include <string>
#include <string_view>

struct TypedText {
    enum Kind { Text, Number, TimeOfDay } kind = Text;
    double value = 0;  // the number, or for a time the fraction of a day (12:00:00 is 0.5)
};

TypedText typeOfEnteredText(std::string_view text);

// A text typed after an apostrophe stays text whatever it looks like (a number, a date, a formula
// after "=", "+", "-" or "@"), and the apostrophe is not part of the cell: the one way to put a
// text into a cell exactly as it is.
bool isMarkedAsText(std::string_view entered);
std::string markedAsText(std::string_view text);

// The width of the text as shown, in characters: UTF-8 sequences count once.
std::size_t shownWidth(std::string_view text);
