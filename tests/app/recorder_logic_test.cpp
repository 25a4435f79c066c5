// The recorder's rules that the window tests cannot reach cheaply: every interval, names of any
// date, the row count that fills a workbook, the animation's wrap.
#include "file_names.h"
#include "recorder_logic.h"

#include <gtest/gtest.h>

namespace {

TEST(RecorderInterval, CountTimesTheUnitAndNothingForABadCount)
{
    EXPECT_EQ(measureIntervalMs("1", 0), 1000);
    EXPECT_EQ(measureIntervalMs("30", 0), 30000);
    EXPECT_EQ(measureIntervalMs("30", 1), 1800000);
    EXPECT_EQ(measureIntervalMs("1", 1), 60000);
    for (const char* bad : {"", "0", "-1", "1.5", "x", "99999999"}) EXPECT_EQ(measureIntervalMs(bad, 1), std::nullopt) << bad;
}

TEST(RecorderNames, StartMomentNamesTheWorkbookAndTheListTakesIt)
{
    const LocalDateTime start{2026, 3, 7, 14, 5, 9};
    EXPECT_EQ(logFileName(start), "2026_03_07_14_05_09_temp.xls");
    EXPECT_EQ(logFileName({2027, 12, 31, 0, 0, 0}), "2027_12_31_00_00_00_temp.xls");
    EXPECT_TRUE(isLogFileName(logFileName(start)));
    EXPECT_EQ(clockText(start), "14:05:09");
}

TEST(RecorderRotation, FullAfter65535RowsAndTheBarWrapsAfter100)
{
    EXPECT_FALSE(workbookIsFull(65534));
    EXPECT_TRUE(workbookIsFull(65535));
    EXPECT_EQ(nextBarStep(0), 1);
    EXPECT_EQ(nextBarStep(99), 100);
    EXPECT_EQ(nextBarStep(100), 0);
}

}  // namespace
