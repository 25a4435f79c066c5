// The recorder's rules that the window tests cannot reach cheaply: every interval, names of any
// date, the row count that fills a workbook, the animation's wrap, the journal's text.
#include "datafiles/file_names.h"
#include "recorder/journal_text.h"
#include "recorder/recorder_logic.h"

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

// A full disk cuts an append short anywhere: once the torn line is ended, it reads as no cell, and
// the rows after it come back whole, none run into it.
TEST(RecorderJournal, ALineCutShortAnywhereIsNoCellOnceEndedAndTheNextRowsComeBackWhole)
{
    const std::vector<LogCell> header = logHeaderCells("TC-100");
    LogMeasurement reading{1500, {}, -5, 23, 40};
    const std::string torn = journalLines(logRowCells(0, "12:00:00", reading));
    const std::vector<LogCell> next = logRowCells(1, "12:00:01", reading);
    for (std::size_t cut = 1; cut < torn.size(); ++cut) {
        if (torn[cut - 1] == '\n') continue;  // a whole line reached the file: not torn there
        // The lines of the torn append that reached the file whole are kept; the cut one is not.
        std::vector<LogCell> expected = header;
        for (const LogCell& cell : journalCells(torn.substr(0, cut))) expected.push_back(cell);
        expected.insert(expected.end(), next.begin(), next.end());
        const std::string text = journalLines(header) + torn.substr(0, cut) + std::string(kTornLineEnd) + journalLines(next);
        EXPECT_EQ(journalCells(text), expected) << "cut after " << cut << " bytes";
    }
}

TEST(RecorderJournal, BrokenUtf8IsReplacedAndCellsNoWorksheetHoldsAreDroppedAndCounted)
{
    // A stray continuation byte, a cut sequence, an overlong slash, a surrogate, a code point past
    // U+10FFFF: each bad byte becomes U+FFFD; the good sequences around them stay.
    const std::string bad = "a\x80" "b \xE2\x84 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x84\x83 \xF0\x9F\x98\x80";
    const std::vector<LogCell> cells = journalCells("4\t1\t" + bad + "\n");
    ASSERT_EQ(cells.size(), 1u);
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(cells[0].text, "a" + fffd + "b " + fffd + fffd + " " + fffd + fffd + " " + fffd + fffd + fffd + " " +
                                 fffd + fffd + fffd + fffd + " \xE2\x84\x83 \xF0\x9F\x98\x80");

    std::vector<LogCell> recovered = journalCells("1048576\t16384\tlast cell\n"
                                                  "1048577\t1\tpast the last row\n"
                                                  "4\t16385\tpast the last column\n"
                                                  "5\t1\t" + std::string(32767, 'x') + "\n"
                                                  "6\t1\t" + std::string(32768, 'x') + "\n"
                                                  "7\t1\t" + std::string(16384, '\xF0') + "\n");
    ASSERT_EQ(recovered.size(), 6u);
    // 16,384 characters beyond U+FFFF are 32,768 units of the cell's limit... once valid; these are
    // lone lead bytes, each replaced by one U+FFFD: 16,384 characters, kept.
    EXPECT_EQ(dropCellsOutsideSheet(recovered), 3u);
    ASSERT_EQ(recovered.size(), 3u);
    EXPECT_EQ(recovered[0], (LogCell{1048576, 16384, "last cell"}));
    EXPECT_EQ(recovered[1].row, 5);
    EXPECT_EQ(recovered[2].row, 7);
    std::string wide;
    for (int i = 0; i < 16384; ++i) wide += "\xF0\x9F\x98\x80";  // 32,768 UTF-16 units
    std::vector<LogCell> emoji{{4, 1, wide}};
    EXPECT_EQ(dropCellsOutsideSheet(emoji), 1u);
}

TEST(RecorderNames, OnlyNamesTheRecorderMakesAreTakenBackApart)
{
    const LocalDateTime start{2026, 3, 7, 14, 5, 9};
    for (const int sequence : {1, 2, 17}) {
        const auto parts = parseLogFileName(logFileName(start, sequence));
        ASSERT_TRUE(parts.has_value()) << sequence;
        EXPECT_EQ(logFileName(parts->start, parts->sequence), logFileName(start, sequence));
        EXPECT_EQ(parts->sequence, sequence);
    }
    for (const char* other : {"abc", "", "Record", "2026_03_07_14_05_09_temp", "2026_03_07_14_05_09_temp.xlsx",
                              "2026_03_07_14_05_09_temp_1.xls", "2026_03_07_14_05_09_temp_02.xls",
                              "2026_03_07_14_05_09_temp_-2.xls", "2026_13_07_14_05_09_temp.xls",
                              "2026_03_07_14_05_09_temp_2.xls.bak", "../../2026_03_07_14_05_09_temp.xls",
                              "2026-03-07_14_05_09_temp.xls", "2026_03_07_14_05_09_temp_99999999999.xls"})
        EXPECT_FALSE(parseLogFileName(other).has_value()) << other;
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
