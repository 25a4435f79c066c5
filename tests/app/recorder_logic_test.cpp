// The recorder's rules that the window tests cannot reach cheaply: every interval, names of any
// date, the row count that fills a workbook, the animation's wrap, the journal's text.
#include "file_names.h"
#include "journal_text.h"
#include "recorder_logic.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    // A second log of the same second, and the side files, which the list must not take.
    EXPECT_EQ(logFileName(start, 2), "2026_03_07_14_05_09_temp_2.xls");
    EXPECT_TRUE(isLogFileName(logFileName(start, 2)));
    EXPECT_FALSE(isLogFileName(journalPathOf(logFileName(start))));
    EXPECT_FALSE(isLogFileName(logFileName(start) + ".saving"));
}

TEST(RecorderJournal, CellsComeBackAsWrittenAndAnUnfinishedLastLineIsLeftOut)
{
    const std::vector<LogCell> header = logHeaderCells("Model\twith\ttabs\nand\\ a line");
    LogMeasurement reading{1500, {}, -5, 23, 40};
    reading.channels[11] = 65535;
    const std::vector<LogCell> row = logRowCells(0, "14:05:09", reading);
    std::string text = journalLines(header) + journalLines(row);
    std::vector<LogCell> written = header;
    written.insert(written.end(), row.begin(), row.end());
    EXPECT_EQ(journalCells(text), written);
    EXPECT_EQ(dataRowsIn(written), 1u);

    // A crash in the middle of the next row: what reached the file whole is kept, the torn line not.
    const std::string next = journalLines(logRowCells(1, "14:05:10", reading));
    text += next.substr(0, next.size() / 2);
    const std::vector<LogCell> kept = journalCells(text);
    ASSERT_GE(kept.size(), written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), kept.begin()));
    EXPECT_LT(kept.size(), written.size() + row.size());
    EXPECT_EQ(journalCells("x\t1\tno row\n0\t1\tno row either\n5\t2\n"), std::vector<LogCell>{});

    EXPECT_EQ(journalPathOf("/r/a_temp.xls"), "/r/a_temp.xls.journal");
    EXPECT_EQ(workbookPathOfJournal("/r/a_temp.xls.journal"), "/r/a_temp.xls");
    EXPECT_EQ(workbookPathOfJournal("/r/a_temp.xls"), "");
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
