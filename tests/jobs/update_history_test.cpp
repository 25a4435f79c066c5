// The update history: its rows as a spreadsheet program reads them, the marker of a running job,
// and a file that keeps every row when it cannot be written at once, is damaged, comes from an
// older version or grows past its limit.
#include "temporary_folder.h"

#include "jobs/history_row.h"
#include "jobs/update_history.h"
#include "platform/core/utf8_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Splits one CSV line the way RFC 4180 reads it.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
        else if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

HistoryEntry sampleEntry() {
    HistoryEntry entry;
    entry.started = "2026-12-09T08:15:03+01:00";
    entry.ended = "2026-12-09T08:16:10+01:00";
    entry.seconds = 67.04;
    entry.job = "update";
    entry.modelName = "Tessaray, \"TS-2\"";
    entry.vidPid = "VID_1FC9&PID_0003";
    entry.chipType = "LPC1764";
    entry.firmwarePath = "C:\\Users\\Zoë\\Firmware\\TS2_FW_1.0.4.bin";
    entry.firmwareSha256 = std::string(64, 'a');
    entry.imagePath = "/home/zoë/Firmware/TS2_IMG.bin";
    entry.imageSha256 = std::string(64, 'b');
    entry.imageRecords = 16;
    entry.result = "failed";
    entry.step = JobStep::Copy;
    entry.error = "Error -> Copy firmware to the update disk fail: line one\nline two";
    entry.programVersion = "1.0";
    entry.computerName = "BENCH-PC";
    return entry;
}

TEST(HistoryRow, ARowReadsBackAsItsColumnsUnderTheHeader) {
    const std::string header = historyHeaderLine();
    ASSERT_TRUE(header.ends_with("\r\n"));
    const auto columns = csvFields(header.substr(0, header.size() - 2));
    EXPECT_EQ(columns.size(), 17u);

    const std::string row = historyRowLine(sampleEntry());
    ASSERT_TRUE(row.ends_with("\r\n"));
    const auto fields = csvFields(row.substr(0, row.size() - 2));
    ASSERT_EQ(fields.size(), columns.size());
    EXPECT_EQ(fields[2], "67.0");
    EXPECT_EQ(fields[4], "Tessaray, \"TS-2\"");
    EXPECT_EQ(fields[7], "TS2_FW_1.0.4.bin");
    EXPECT_EQ(fields[9], "TS2_IMG.bin");
    EXPECT_EQ(fields[11], "16");
    EXPECT_EQ(fields[12], "failed");
    EXPECT_EQ(fields[13], "copy");
    EXPECT_EQ(fields[14], "Error -> Copy firmware to the update disk fail: line one\nline two");

    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

TEST(HistoryRow, TimesCarryTheirOffsetFromUtc) {
    EXPECT_EQ(isoLocalTime(2026, 12, 9, 8, 5, 3, 3600), "2026-12-09T08:05:03+01:00");
    EXPECT_EQ(isoLocalTime(2026, 1, 31, 23, 59, 59, -(3 * 3600 + 30 * 60)), "2026-01-31T23:59:59-03:30");
    EXPECT_EQ(isoLocalTime(2026, 6, 1, 0, 0, 0, 0), "2026-06-01T00:00:00+00:00");
}

TEST(HistoryMarker, KeepsEveryFieldAndRefusesWhatIsNoMarker) {
    HistoryEntry entry = sampleEntry();
    entry.result.clear();
    const std::optional<HistoryEntry> back = parseMarker(markerText(entry));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->firmwarePath, entry.firmwarePath);
    EXPECT_EQ(back->imagePath, entry.imagePath);
    EXPECT_EQ(back->firmwareSha256, entry.firmwareSha256);
    EXPECT_EQ(back->step, JobStep::Copy);
    EXPECT_EQ(back->modelName, entry.modelName);
    EXPECT_EQ(back->imageRecords, 16);
    EXPECT_EQ(back->started, entry.started);
    EXPECT_EQ(back->ended, entry.ended);
    EXPECT_EQ(historyRowLine(*back), historyRowLine([&] {
                  HistoryEntry expected = entry;
                  expected.error.clear();  // the marker holds what is known before the end
                  expected.seconds = 67.0;
                  return expected;
              }()));

    EXPECT_FALSE(parseMarker(""));
    EXPECT_FALSE(parseMarker("job=update\n"));
    EXPECT_FALSE(parseMarker("lumaro-job-marker 1\nstep=copy\n"));  // a marker cut short before its job
    const auto newer = parseMarker("lumaro-job-marker 2\njob=erase\nstarted=x\nsomething=new\nstep=erase\n");
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->step, JobStep::Erase);
}

class HistoryFiles : public ::testing::Test {
protected:
    void SetUp() override { folder = bustest::makeTemporaryFolder("history-"); }
    void TearDown() override { fs::remove_all(folder); }
    fs::path csv() const { return folder / "UpdateHistory.csv"; }
    std::vector<fs::path> setAside() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with("UpdateHistory-")) found.push_back(entry.path());
        return found;
    }
    fs::path folder;
};

TEST_F(HistoryFiles, AFreshFileHasTheMarkAndTheHeaderOnceAndRowsBelow) {
    UpdateHistory history(folder.string());
    HistoryEntry first = sampleEntry(), second = sampleEntry();
    second.result = "done";
    EXPECT_FALSE(history.append(first));
    EXPECT_FALSE(history.append(second));
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(first) +
                                     historyRowLine(second));
    const auto last = history.lastRows(1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0] + "\r\n", historyRowLine(second));
    EXPECT_EQ(history.lastRows(20).size(), 2u);  // the first row's error holds a line break
    EXPECT_TRUE(UpdateHistory((folder / "none").string()).lastRows(20).empty());
}

// The record folder lies in the user's folder, whose name need not fit the system's code page.
TEST_F(HistoryFiles, AFolderWithANonAsciiNameHoldsTheHistoryAndTheMarker) {
    const fs::path record = folder / fs::path(u8"Zo\u00eb \u6587\u4ef6");
    fs::create_directories(record);
    UpdateHistory history(platform::utf8String(record));
    HistoryEntry entry = sampleEntry();
    EXPECT_TRUE(history.writeMarker(entry, true));
    EXPECT_TRUE(fs::exists(record / "UpdateHistory.running"));
    EXPECT_FALSE(history.append(entry));
    EXPECT_TRUE(contentsOf(record / "UpdateHistory.csv").ends_with(historyRowLine(entry)));
}

// The marker is rewritten in place: a shorter one must not keep the end of the longer one before it.
TEST_F(HistoryFiles, AMarkerRewrittenShorterReadsAsTheNewOne) {
    UpdateHistory history(folder.string());
    HistoryEntry entry = sampleEntry();
    entry.step = JobStep::WaitingForDisk;
    ASSERT_TRUE(history.writeMarker(entry, false));
    entry.step = JobStep::Copy;
    entry.firmwarePath = "F.bin";
    ASSERT_TRUE(history.writeMarker(entry, false));
    const auto back = parseMarker(contentsOf(history.markerPath()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->step, JobStep::Copy);
    EXPECT_EQ(back->firmwarePath, "F.bin");
    EXPECT_EQ(back->computerName, entry.computerName);
}

TEST_F(HistoryFiles, ADamagedLastLineIsKeptAndTheNextRowStartsOnItsOwnLine) {
    std::ofstream(csv(), std::ios::binary) << kUtf8ByteOrderMark << historyHeaderLine() << "2026-12-09T08:00:00+01:00,2026-12";
    UpdateHistory history(folder.string());
    const HistoryEntry entry = sampleEntry();
    EXPECT_FALSE(history.append(entry));
    EXPECT_TRUE(contentsOf(csv()).ends_with("2026-12-09T08:00:00+01:00,2026-12\r\n" + historyRowLine(entry)));
}

TEST_F(HistoryFiles, AnOlderVersionsFileAndAFullOneAreSetAsideWhole) {
    const std::string older = "started,ended,result\r\nx,y,done\r\n";
    std::ofstream(csv(), std::ios::binary) << older;
    UpdateHistory history(folder.string());
    EXPECT_FALSE(history.append(sampleEntry()));
    ASSERT_EQ(setAside().size(), 1u);
    EXPECT_EQ(contentsOf(setAside()[0]), older);
    EXPECT_TRUE(contentsOf(csv()).starts_with(std::string(kUtf8ByteOrderMark) + historyHeaderLine()));

    fs::resize_file(csv(), UpdateHistory::kRotateBytes);  // as if grown to its limit
    EXPECT_FALSE(history.append(sampleEntry()));
    EXPECT_EQ(setAside().size(), 2u);  // the same day's name taken: a second one beside it
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(sampleEntry()));
}

// A folder in the file's place cannot be opened for appending, even by root: it stands for a
// read-only folder, a full disk or a file that a spreadsheet program holds locked.
TEST_F(HistoryFiles, RowsThatCannotBeWrittenAreKeptAndWrittenLaterInOrder) {
    HistoryEntry first = sampleEntry(), second = sampleEntry(), third = sampleEntry();
    first.job = "erase", second.job = "reset", third.job = "update";
    {
        UpdateHistory history(folder.string());
        fs::create_directory(csv());
        const auto problem = history.append(first);
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find("UpdateHistory.csv"), std::string::npos);
        EXPECT_EQ(history.problemToTell(problem), problem);
        EXPECT_TRUE(history.append(second));
        EXPECT_FALSE(history.problemToTell(history.append(second)));  // said once
        EXPECT_EQ(history.pendingRows(), 3u);
        fs::remove(csv());
        EXPECT_FALSE(history.append(third));
        EXPECT_EQ(history.pendingRows(), 0u);
        EXPECT_FALSE(fs::exists(history.pendingPath()));
    }
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(first) +
                                     historyRowLine(second) + historyRowLine(second) + historyRowLine(third));
}

TEST_F(HistoryFiles, RowsKeptWhenTheProgramEndedAreWrittenAtTheNextStart) {
    const HistoryEntry entry = sampleEntry();
    fs::create_directory(csv());
    {
        UpdateHistory history(folder.string());
        EXPECT_TRUE(history.append(entry));
    }
    fs::remove(csv());
    UpdateHistory next(folder.string());
    EXPECT_EQ(next.pendingRows(), 1u);
    EXPECT_FALSE(next.appendPending());
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(entry));
    EXPECT_FALSE(fs::exists(next.pendingPath()));
}

TEST_F(HistoryFiles, AMarkerLeftBehindBecomesAnInterruptedRow) {
    struct Case {
        std::string job;
        JobStep step;
        bool stranded;
    };
    for (const Case& c : {Case{"update", JobStep::ImageData, false}, Case{"update", JobStep::BootloaderSwitch, true},
                          Case{"update", JobStep::StopDisk, true}, Case{"erase", JobStep::Erase, false}}) {
        SCOPED_TRACE(std::string(jobStepName(c.step)));
        fs::remove(csv());
        UpdateHistory history(folder.string());
        HistoryEntry entry = sampleEntry();
        entry.result.clear(), entry.error.clear();
        entry.job = c.job, entry.step = c.step;
        ASSERT_TRUE(history.writeMarker(entry, true));
        std::optional<std::string> problem;
        const auto interrupted = history.recoverInterruptedJob(problem);
        ASSERT_TRUE(interrupted);
        EXPECT_FALSE(problem);
        const auto rows = history.lastRows(1);
        ASSERT_EQ(rows.size(), 1u);
        const auto fields = csvFields(rows[0]);
        EXPECT_EQ(fields[12], "interrupted");
        EXPECT_EQ(fields[13], jobStepName(c.step));
        EXPECT_FALSE(fs::exists(history.markerPath()));
        EXPECT_EQ(history.strandedUpdate().has_value(), c.stranded);
        if (c.stranded) {
            EXPECT_EQ(history.strandedUpdate()->firmwarePath, entry.firmwarePath);
        }
        EXPECT_FALSE(history.recoverInterruptedJob(problem));  // told once
        history.removeStrandedUpdate();
    }
}

}  // namespace
