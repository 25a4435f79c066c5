// What the stand-in spreadsheet program makes of a typed text: the recorder's numbers and clock
// times become values, everything else stays as typed.
#include "recorder/workbook/typed_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TypedText, WholeAndDecimalNumbersBecomeNumbers)
{
    const std::pair<const char*, double> numbers[] = {{"36", 36},     {"-5", -5},   {"+7", 7},   {"0", 0},
                                                      {"65535", 65535}, {"36.5", 36.5}, {".5", 0.5}, {"-0.25", -0.25}, {"007", 7}};
    for (const auto& [text, value] : numbers) {
        const TypedText typed = typeOfEnteredText(text);
        EXPECT_EQ(typed.kind, TypedText::Number) << text;
        EXPECT_DOUBLE_EQ(typed.value, value) << text;
    }
}

TEST(TypedText, ClockTimesBecomeFractionsOfADay)
{
    EXPECT_EQ(typeOfEnteredText("12:00:00").kind, TypedText::TimeOfDay);
    EXPECT_DOUBLE_EQ(typeOfEnteredText("12:00:00").value, 0.5);
    EXPECT_DOUBLE_EQ(typeOfEnteredText("21:39:57").value, (21 * 3600 + 39 * 60 + 57) / 86400.0);
    EXPECT_DOUBLE_EQ(typeOfEnteredText("00:00:00").value, 0);
    EXPECT_DOUBLE_EQ(typeOfEnteredText("9:05:01").value, (9 * 3600 + 5 * 60 + 1) / 86400.0);
}

TEST(TypedText, EverythingElseStaysText)
{
    for (const char* text : {"", "-", "+", ".", "1.2.3", "1e5", " 36", "36 ", "0x10", "Fan Spped", "CH 12", "24:00:00",
                             "12:60:00", "12:00:61", "123:00:00", "12:0:00", "12:00", "-12:00:00", "Measure Device : X"})
        EXPECT_EQ(typeOfEnteredText(text).kind, TypedText::Text) << '"' << text << '"';
}

TEST(TypedText, ShownWidthCountsCharactersNotBytes)
{
    EXPECT_EQ(shownWidth("Fan Spped"), 9u);
    EXPECT_EQ(shownWidth("23 \xE2\x84\x83"), 4u);
    EXPECT_EQ(shownWidth(""), 0u);
}

}  // namespace
