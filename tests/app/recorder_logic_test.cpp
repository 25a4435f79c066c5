// The recorder's rules: interval, workbook names, the cells of the header and of a row, when a
// workbook is full, the animation and the readouts.
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

TEST(RecorderLayout, HeaderSitsInRowsOneAndThree)
{
    const std::vector<LogCell> header = logHeaderCells("Tessaray TC-200");
    ASSERT_EQ(header.size(), 18u);
    EXPECT_EQ(header[0], (LogCell{1, 1, "Measure Device : Tessaray TC-200"}));
    EXPECT_EQ(header[1], (LogCell{3, 1, "Time"}));
    EXPECT_EQ(header[2], (LogCell{3, 3, "Array 1"}));
    EXPECT_EQ(header[3], (LogCell{3, 4, "Array 2"}));
    EXPECT_EQ(header[4], (LogCell{3, 5, "Ambient"}));
    EXPECT_EQ(header[5], (LogCell{3, 7, "Fan Spped"}));
    EXPECT_EQ(header[6], (LogCell{3, 9, "CH 1"}));
    EXPECT_EQ(header[17], (LogCell{3, 20, "CH 12"}));
}

TEST(RecorderLayout, RowFollowsTheRowsWrittenWithTimeTemperaturesFanThenChannels)
{
    LogMeasurement measurement{1500, {}, -5, 0, -40};
    for (int i = 0; i < 12; ++i) measurement.channels[static_cast<std::size_t>(i)] = i == 11 ? 65535 : i + 1;
    const std::vector<LogCell> first = logRowCells(0, "14:05:09", measurement);
    ASSERT_EQ(first.size(), 17u);
    const std::vector<std::pair<int, std::string>> expected{
        {1, "14:05:09"}, {3, "-5"}, {4, "0"}, {5, "-40"}, {7, "1500"}, {9, "1"}, {10, "2"}, {11, "3"}, {12, "4"},
        {13, "5"},       {14, "6"}, {15, "7"}, {16, "8"}, {17, "9"},   {18, "10"}, {19, "11"}, {20, "65535"}};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(first[i], (LogCell{4, expected[i].first, expected[i].second})) << i;
    EXPECT_EQ(logRowCells(kRowsPerWorkbook - 1, "x", measurement).front().row, 65538);
}

TEST(RecorderRotation, FullAfter65535RowsAndTheBarWrapsAfter100)
{
    EXPECT_FALSE(workbookIsFull(65534));
    EXPECT_TRUE(workbookIsFull(65535));
    EXPECT_EQ(nextBarStep(0), 1);
    EXPECT_EQ(nextBarStep(99), 100);
    EXPECT_EQ(nextBarStep(100), 0);
}

TEST(RecorderReadouts, DegreesWithTheirSignAndRpm)
{
    EXPECT_EQ(temperatureText(23), "23 \xE2\x84\x83");
    EXPECT_EQ(temperatureText(-5), "-5 \xE2\x84\x83");
    EXPECT_EQ(fanSpeedText(1500), "1500 rpm");
}

}  // namespace
