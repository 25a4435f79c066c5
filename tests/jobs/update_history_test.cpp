// The update history: its rows as a spreadsheet program reads them, the marker of a running job,
// and a file that keeps every row when it cannot be written at once, is damaged, comes from an
// older version or grows past its limit; and a folder where anyone may have put something else
// under the history's names; and an older version's history carried over into the shared folder.
#include "temporary_folder.h"

#include "jobs/history_folder.h"
#include "jobs/history_row.h"
#include "jobs/job_record.h"
#include "jobs/update_history.h"
#include "platform/core/utf8_path.h"

#include <QDate>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

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

// What a folder holds, by name: nothing pending or locked may stay once every row is written.
std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& file : fs::directory_iterator(folder)) names.insert(file.path().filename().string());
    return names;
}
const std::set<std::string> kWrittenHistory{"UpdateHistory.csv", "UpdateHistory.write-lock"};

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
    entry.signatures = "firmware: key E4086F9FCA4F0324, trusted comment \"file:TS2_FW_1.0.4.bin\"; image data: unsigned";
    return entry;
}

TEST(HistoryRow, ARowReadsBackAsItsColumnsUnderTheHeader) {
    const std::string header = historyHeaderLine();
    ASSERT_TRUE(header.ends_with("\r\n"));
    const auto columns = csvFields(header.substr(0, header.size() - 2));
    EXPECT_EQ(columns.size(), 18u);
    EXPECT_EQ(columns[17], "signatures");  // last: an older row's columns stay where they were

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
    EXPECT_EQ(fields[17], sampleEntry().signatures);

    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

// A name or a text from outside (a model name, a computer's name, a file's name, an error) that a
// spreadsheet program would run as a formula is written as text, in the row as anywhere.
TEST(HistoryRow, TextThatASpreadsheetWouldRunIsWrittenAsText) {
    for (const std::string start : {"=", "+", "-", "@", "\t", "\r"})
        EXPECT_EQ(csvField(start + "1+1"), "\"'" + start + "1+1\"") << start;
    EXPECT_EQ(csvField("=HYPERLINK(\"http://x\",\"y\")"), "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    EXPECT_EQ(csvField("a=b"), "a=b");
    EXPECT_EQ(csvField(""), "");

    HistoryEntry entry = sampleEntry();
    entry.modelName = "=cmd|' /C calc'!A0";
    entry.computerName = "@SUM(1,2)";
    entry.firmwarePath = "C:\\Firmware\\+TS2_FW_1.0.4.bin";
    entry.error = "-2 bytes short";
    const std::string row = historyRowLine(entry);
    const auto fields = csvFields(row.substr(0, row.size() - 2));
    ASSERT_EQ(fields.size(), 18u);
    EXPECT_EQ(fields[4], "'=cmd|' /C calc'!A0");
    EXPECT_EQ(fields[7], "'+TS2_FW_1.0.4.bin");
    EXPECT_EQ(fields[14], "'-2 bytes short");
    EXPECT_EQ(fields[16], "'@SUM(1,2)");
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
    for (const char* seconds : {"1e308", "-5", "nan"}) {  // from a record anyone wrote: no length a job can have
        const auto odd = parseMarker("lumaro-job-marker 1\njob=erase\nstarted=x\nseconds=" + std::string(seconds) + "\n");
        ASSERT_TRUE(odd);
        EXPECT_EQ(odd->seconds, 0) << seconds;
    }
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
    JobRecordFiles files = JobRecordFiles::create(history.folder());
    ASSERT_TRUE(files.held());
    EXPECT_TRUE(files.writeMarker(markerText(entry), true));
    EXPECT_TRUE(fs::exists(platform::utf8Path(files.path(kMarkerSuffix))));
    EXPECT_FALSE(history.append(entry));
    EXPECT_TRUE(contentsOf(record / "UpdateHistory.csv").ends_with(historyRowLine(entry)));
}

// Each write puts a whole new marker in place: what is read is the old one or the new one, never
// a mix, and no partial file is left beside it.
TEST_F(HistoryFiles, AMarkerIsReplacedWholeAndNothingElseIsLeft) {
    UpdateHistory history(folder.string());
    JobRecordFiles files = JobRecordFiles::create(history.folder());
    HistoryEntry entry = sampleEntry();
    entry.step = JobStep::WaitingForDisk;
    ASSERT_TRUE(files.writeMarker(markerText(entry), false));
    entry.step = JobStep::Copy;
    entry.firmwarePath = "F.bin";
    ASSERT_TRUE(files.writeMarker(markerText(entry), false));
    const auto back = parseMarker(contentsOf(files.path(kMarkerSuffix)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->step, JobStep::Copy);
    EXPECT_EQ(back->firmwarePath, "F.bin");
    EXPECT_EQ(back->computerName, entry.computerName);
    std::size_t files_in_folder = 0;
    for ([[maybe_unused]] const auto& file : fs::directory_iterator(folder)) ++files_in_folder;
    EXPECT_EQ(files_in_folder, 2u) << "the marker and its lock";
}

TEST(JobRecordNames, IdsComeOnlyFromTheProgramsOwnNames) {
    EXPECT_EQ(jobIdOfFileName("UpdateHistory.20261209-101500-0a1b2c3d.running", kMarkerSuffix), "20261209-101500-0a1b2c3d");
    EXPECT_EQ(jobIdOfFileName("UpdateHistory.running", kMarkerSuffix), "");  // an older version's
    EXPECT_EQ(jobIdOfFileName("UpdateHistory.x.stranded", kStrandedSuffix), "x");
    EXPECT_FALSE(jobIdOfFileName("UpdateHistory.x.running.tmp", kMarkerSuffix));
    EXPECT_FALSE(jobIdOfFileName("UpdateHistory.x.stranded", kMarkerSuffix));
    EXPECT_FALSE(jobIdOfFileName("UpdateHistory..running", kMarkerSuffix));
    EXPECT_FALSE(jobIdOfFileName("UpdateHistory.a/b.running", kMarkerSuffix));
    EXPECT_FALSE(jobIdOfFileName("UpdateHistoryx.running", kMarkerSuffix));
    EXPECT_FALSE(jobIdOfFileName("Other.x.running", kMarkerSuffix));
    EXPECT_NE(newJobId(), newJobId());
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

// Columns are only ever added at the end: the last version's file (one column fewer, a row whose
// error holds a line break) goes on in today's columns, its rows given the new column empty.
TEST_F(HistoryFiles, TheLastVersionsFileGoesOnInTodaysColumns) {
    std::string header = historyHeaderLine();
    header.erase(header.rfind(','));
    const std::string earlierRow = "a,b,0.0,update,M,,,,,,,,failed,Copy,\"two\r\nlines\",1.0,PC";
    std::ofstream(csv(), std::ios::binary) << kUtf8ByteOrderMark << header << "\r\n" << earlierRow << "\r\n";
    UpdateHistory history(folder.string());
    EXPECT_FALSE(history.append(sampleEntry()));
    EXPECT_TRUE(setAside().empty());
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + earlierRow + ",\r\n" +
                                     historyRowLine(sampleEntry()));
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
        EXPECT_EQ(namesIn(folder), kWrittenHistory);
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
    EXPECT_EQ(namesIn(folder), kWrittenHistory);
}

// Two instances on one history (the window and lumaro-update side by side): the rows one keeps
// pending are its own until it ends; only then does the other take them over.
TEST_F(HistoryFiles, PendingRowsBelongToTheirInstanceUntilItEnds) {
    HistoryEntry first = sampleEntry(), second = sampleEntry(), third = sampleEntry();
    first.job = "erase", second.job = "reset", third.job = "update";
    auto window = std::make_unique<UpdateHistory>(folder.string());
    UpdateHistory commandLine(folder.string());
    fs::create_directory(csv());
    EXPECT_TRUE(commandLine.append(first));
    fs::remove(csv());
    EXPECT_FALSE(window->append(second));
    EXPECT_EQ(commandLine.pendingRows(), 1u);
    EXPECT_TRUE(fs::exists(commandLine.pendingPath())) << "a live instance's pending rows are left alone";
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(second));

    fs::remove(csv());
    fs::create_directory(csv());
    EXPECT_TRUE(window->append(third));
    const std::string windowPending = window->pendingPath();
    window.reset();  // ended with its row pending
    fs::remove(csv());
    EXPECT_FALSE(commandLine.appendPending());
    EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(third) +
                                     historyRowLine(first));
    EXPECT_FALSE(fs::exists(windowPending));
    EXPECT_EQ(namesIn(folder), kWrittenHistory);
}

// Instances appending at once write one header and whole rows, never parts of two; one that finds
// the history being written waits for it.
TEST_F(HistoryFiles, InstancesAppendingAtOnceNeverInterleave) {
    HistoryEntry a = sampleEntry(), b = sampleEntry();
    a.error = std::string(3000, 'a');
    b.error = std::string(3000, 'b');
    UpdateHistory one(folder.string()), other(folder.string());
    std::thread first([&] { for (int i = 0; i < 40; ++i) EXPECT_FALSE(one.append(a)); });
    std::thread second([&] { for (int i = 0; i < 40; ++i) EXPECT_FALSE(other.append(b)); });
    first.join();
    second.join();
    const std::string text = contentsOf(csv());
    const std::string header = std::string(kUtf8ByteOrderMark) + historyHeaderLine();
    ASSERT_TRUE(text.starts_with(header));
    std::size_t rowsOfA = 0, rowsOfB = 0;
    for (std::size_t at = header.size(); at < text.size();) {
        if (text.compare(at, historyRowLine(a).size(), historyRowLine(a)) == 0) ++rowsOfA, at += historyRowLine(a).size();
        else if (text.compare(at, historyRowLine(b).size(), historyRowLine(b)) == 0) ++rowsOfB, at += historyRowLine(b).size();
        else FAIL() << "not a whole row at byte " << at;
    }
    EXPECT_EQ(rowsOfA, 40u);
    EXPECT_EQ(rowsOfB, 40u);
}

// A job whose process died: its files are there and nobody holds its lock.
JobRecordFiles deadJob(const UpdateHistory& history, const HistoryEntry& entry) {
    JobRecordFiles files = JobRecordFiles::create(history.folder());
    EXPECT_TRUE(files.writeMarker(markerText(entry), true));
    return files;
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
        entry.job = c.job, entry.step = c.step, entry.port = "1-4";
        deadJob(history, entry);
        const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
        ASSERT_EQ(recovery.interrupted.size(), 1u);
        EXPECT_FALSE(recovery.problem);
        const auto rows = history.lastRows(1);
        ASSERT_EQ(rows.size(), 1u);
        const auto fields = csvFields(rows[0]);
        EXPECT_EQ(fields[12], "interrupted");
        EXPECT_EQ(fields[13], jobStepName(c.step));
        EXPECT_TRUE(jobIdsIn(history.folder(), kMarkerSuffix).empty());
        const auto stranded = history.strandedUpdates();
        ASSERT_EQ(stranded.size(), c.stranded ? 1u : 0u);
        if (c.stranded) {
            EXPECT_EQ(stranded[0].entry.firmwarePath, entry.firmwarePath);
            EXPECT_EQ(stranded[0].entry.port, "1-4");
        }
        // The recovery names the stranded updates it leaves, the one it just made among them.
        ASSERT_EQ(recovery.stranded.size(), stranded.size());
        if (c.stranded) {
            EXPECT_EQ(recovery.stranded[0].id, stranded[0].id);
        }
        EXPECT_TRUE(history.recoverInterruptedJobs().interrupted.empty());  // told once
        for (const auto& update : stranded) JobRecordFiles::take(history.folder(), update.id).removeStranded();
    }
}

// Another instance's job that still runs holds its lock: its marker is neither recorded nor
// moved, and its stranded update is not finished twice.
TEST_F(HistoryFiles, ALiveJobIsLeftAloneAndOnlyAFreeRecordIsTaken) {
    UpdateHistory history(folder.string());
    HistoryEntry entry = sampleEntry();
    entry.step = JobStep::WaitingForDisk;
    JobRecordFiles live = JobRecordFiles::create(history.folder());
    ASSERT_TRUE(live.writeMarker(markerText(entry), false));
    EXPECT_TRUE(history.recoverInterruptedJobs().interrupted.empty());
    EXPECT_TRUE(fs::exists(live.path(kMarkerSuffix)));
    EXPECT_FALSE(fs::exists(csv()));
    EXPECT_FALSE(JobRecordFiles::take(history.folder(), live.id()).held());

    ASSERT_TRUE(live.strand(markerText(entry)));
    EXPECT_FALSE(JobRecordFiles::take(history.folder(), live.id()).held()) << "still held by its job";
    live.release();
    JobRecordFiles finisher = JobRecordFiles::take(history.folder(), live.id());
    ASSERT_TRUE(finisher.held());
    EXPECT_FALSE(JobRecordFiles::take(history.folder(), live.id()).held()) << "held by the finisher";
    EXPECT_EQ(history.strandedUpdates().size(), 1u);
}

// The single files of older versions are one job with no id; records that do not parse are kept
// aside and named, never removed without a word.
TEST_F(HistoryFiles, OlderFilesAreRecoveredAndUnreadableOnesKeptAside) {
    HistoryEntry entry = sampleEntry();
    entry.result.clear();
    entry.step = JobStep::Copy;
    writeFile(folder / "UpdateHistory.running", markerText(entry));
    writeFile(folder / "UpdateHistory.bad-1.running", "lumaro-job-marker 1\nstep=co");
    writeFile(folder / "UpdateHistory.bad-2.stranded", "");
    UpdateHistory history(folder.string());
    const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
    ASSERT_EQ(recovery.interrupted.size(), 1u);
    EXPECT_EQ(recovery.interrupted[0].step, JobStep::Copy);
    ASSERT_EQ(history.strandedUpdates().size(), 1u);
    EXPECT_EQ(history.strandedUpdates()[0].id, "");
    EXPECT_EQ(recovery.setAside,
              (std::vector<std::string>{"UpdateHistory.bad-1.running", "UpdateHistory.bad-2.stranded"}));
    EXPECT_TRUE(fs::exists(folder / "UpdateHistory.bad-1.unreadable"));
    EXPECT_TRUE(fs::exists(folder / "UpdateHistory.bad-2.unreadable"));
    EXPECT_FALSE(fs::exists(folder / "UpdateHistory.bad-1.running"));
}

// How a recorded job ends decides what stays: a done row clears its own records only; an update
// that ends otherwise after the switch stays stranded; one that ends before it leaves nothing.
TEST_F(HistoryFiles, AJobsEndKeepsOrClearsOnlyItsOwnRecords) {
    UpdateHistory history(folder.string());
    HistoryEntry other = sampleEntry();
    other.step = JobStep::Copy;
    deadJob(history, other).strand(markerText(other));  // another controller's, waiting to be finished

    struct Case {
        JobStep lastStep;
        std::string result;
        bool stranded;
    };
    for (const Case& c : {Case{JobStep::WaitingForDisk, "failed", true}, Case{JobStep::StopDisk, "stopped", true},
                          Case{JobStep::ImageData, "failed", false}, Case{JobStep::StopDisk, "done", false}}) {
        SCOPED_TRACE(c.result + " at " + std::string(jobStepName(c.lastStep)));
        HistoryEntry known = sampleEntry();
        known.result.clear(), known.error.clear();
        JobRecord record(&history, known, {});
        record.begin();
        record.enterStep(c.lastStep);
        record.end(c.result);
        EXPECT_TRUE(jobIdsIn(history.folder(), kMarkerSuffix).empty());
        const auto stranded = history.strandedUpdates();
        ASSERT_EQ(stranded.size(), c.stranded ? 2u : 1u);
        for (const auto& update : stranded) {
            if (update.entry.step == JobStep::Copy) continue;  // the other controller's stays
            EXPECT_EQ(update.entry.step, c.lastStep);
            JobRecordFiles::take(history.folder(), update.id).removeStranded();
        }
    }
    // The finish of the stranded update goes on as that job: its done row clears it.
    const auto stranded = history.strandedUpdates();
    ASSERT_EQ(stranded.size(), 1u);
    {
        JobRecord finish(&history, stranded[0].entry, {}, JobRecordFiles::take(history.folder(), stranded[0].id));
        finish.begin();
        finish.enterStep(JobStep::Copy);
        finish.end("done");
    }
    EXPECT_TRUE(history.strandedUpdates().empty());
    EXPECT_TRUE(jobIdsIn(history.folder(), kLockSuffix).empty());
}

// The system's end (a shutdown during a job) writes the markers of the jobs that run again, from any
// thread, and brings back none of a job that has ended or whose record is gone.
TEST_F(HistoryFiles, TheSystemsEndWritesOnlyTheMarkersOfRunningJobs) {
    UpdateHistory history(folder.string());
    HistoryEntry known = sampleEntry();
    known.result.clear(), known.error.clear();
    JobRecord running(&history, known, {});
    running.begin();
    JobRecord ended(&history, known, {});
    ended.begin();
    ended.end("done");
    std::make_unique<JobRecord>(&history, known, [](const std::string&) {})->begin();  // gone, its marker left
    const auto ids = jobIdsIn(history.folder(), kMarkerSuffix);
    ASSERT_EQ(ids.size(), 2u);
    for (const auto& id : ids) fs::remove(folder / ("UpdateHistory." + id + std::string(kMarkerSuffix)));
    std::thread(syncRunningJobRecordsNow).join();
    EXPECT_EQ(jobIdsIn(history.folder(), kMarkerSuffix).size(), 1u);
}

// What anyone may put under one of the history's names in a folder that every user writes into.
enum class Planted { LinkToAPrivateFile, Pipe, Folder, SecondNameOfAPrivateFile };

void PrintTo(Planted planted, std::ostream* out) {
    constexpr const char* kNames[] = {"LinkToAPrivateFile", "Pipe", "Folder", "SecondNameOfAPrivateFile"};
    *out << kNames[static_cast<int>(planted)];
}

// false where this system cannot make it.
bool plant(Planted kind, const fs::path& path, const fs::path& privateFile) {
    std::error_code error;
    switch (kind) {
    case Planted::LinkToAPrivateFile: fs::create_symlink(privateFile, path, error); break;
    case Planted::Pipe:
#ifdef _WIN32
        return false;
#else
        return ::mkfifo(path.c_str(), 0666) == 0;
#endif
    case Planted::Folder: fs::create_directory(path, error); break;
    case Planted::SecondNameOfAPrivateFile: fs::create_hard_link(privateFile, path, error); break;
    }
    return !error;
}

// Another user's file outside the history, which nothing in it may bring into the history.
class HistoryBesideOthers : public HistoryFiles {
protected:
    void SetUp() override { HistoryFiles::SetUp(), writeFile(privateFile, kPrivateText); }
    void TearDown() override { fs::remove_all(others), HistoryFiles::TearDown(); }
    void expectNothingPrivateCopied() const {
        EXPECT_EQ(contentsOf(privateFile), kPrivateText);
        EXPECT_EQ(contentsOf(csv()).find(kPrivateText), std::string::npos);
    }
    const std::string kPrivateText = "2026-01-01T00:00:00+00:00,private,row\r\n";
    const fs::path others = bustest::makeTemporaryFolder("history-others-"), privateFile = others / "private.csv";
};

class PlantedInHistory : public HistoryBesideOthers, public ::testing::WithParamInterface<Planted> {};

// Under a record's or a lock's name: neither followed nor read, nothing held up, told once; and the
// program's own dead job beside them is recorded and kept stranded as ever.
TEST_P(PlantedInHistory, RecordsAndLocksPutThereAreNeitherFollowedNorRead) {
    const std::vector<std::string> names{"UpdateHistory.planted-1.pending", "UpdateHistory.planted-2.running",
                                         "UpdateHistory.planted-4.lock", "UpdateHistory.planted-3.stranded"};
    for (const std::string& name : names)
        if (!plant(GetParam(), folder / name, privateFile)) GTEST_SKIP() << "not made on this system";
    HistoryEntry stranded = sampleEntry();
    stranded.result.clear();
    stranded.step = JobStep::Copy;
    writeFile(folder / "UpdateHistory.planted-4.running", markerText(stranded));  // behind the planted lock

    UpdateHistory history(folder.string());
    deadJob(history, stranded);
    const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
    EXPECT_EQ(recovery.interrupted.size(), 1u);
    EXPECT_EQ(recovery.stranded.size(), 1u);
    ASSERT_EQ(recovery.refused.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)  // in the order they are met
        EXPECT_NE(recovery.refused[i].find(names[i] + " is not a plain file"), std::string::npos) << recovery.refused[i];
    EXPECT_TRUE(history.recoverInterruptedJobs().refused.empty()) << "told once";
    EXPECT_TRUE(fs::exists(folder / "UpdateHistory.planted-4.running")) << "the records behind the lock are left alone";
    expectNothingPrivateCopied();
}

// Under the history's name or its write lock's: no row goes there and nothing is read from it; the
// rows are kept until the name holds a plain file again. A set-aside history's name already taken
// is not written through either.
TEST_P(PlantedInHistory, TheHistoryAndItsLockPutThereKeepTheRowsPending) {
    for (const char* name : {"UpdateHistory.csv", "UpdateHistory.write-lock"}) {
        SCOPED_TRACE(name);
        if (!plant(GetParam(), folder / name, privateFile)) GTEST_SKIP() << "not made on this system";
        UpdateHistory history(folder.string());
        const HistoryEntry entry = sampleEntry();
        const auto problem = history.append(entry);
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find(std::string(name) + " is not a plain file"), std::string::npos) << *problem;
        EXPECT_EQ(history.pendingRows(), 1u);
        EXPECT_TRUE(history.lastRows(20).empty());
        std::string unreadable;
        EXPECT_FALSE(history.wholeHistory(unreadable));
        fs::remove(folder / name);
        EXPECT_FALSE(history.appendPending());
        EXPECT_EQ(contentsOf(csv()), std::string(kUtf8ByteOrderMark) + historyHeaderLine() + historyRowLine(entry));
        expectNothingPrivateCopied();
        fs::remove(csv());
        fs::remove(folder / "UpdateHistory.write-lock");
    }
    const fs::path setAsideName = folder / ("UpdateHistory-" + QDate::currentDate().toString(Qt::ISODate).toStdString() + ".csv");
    ASSERT_TRUE(plant(GetParam(), setAsideName, privateFile));
    writeFile(csv(), "started,ended,result\r\n");  // an older version's
    EXPECT_FALSE(UpdateHistory(folder.string()).append(sampleEntry()));
    EXPECT_EQ(setAside().size(), 2u) << "set aside beside what has the name";
    EXPECT_EQ(contentsOf(privateFile), kPrivateText);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PlantedInHistory,
                         ::testing::Values(Planted::LinkToAPrivateFile, Planted::Pipe, Planted::Folder,
                                           Planted::SecondNameOfAPrivateFile));

// The instance's pending file is written through the handle it was made with: its name taken over
// meanwhile by a link to a private file leads no row there.
TEST_F(HistoryBesideOthers, APendingFileIsWrittenOnlyThroughItsOwnHandle) {
    UpdateHistory history(folder.string());
    fs::create_directory(csv());  // the rows cannot be written
    ASSERT_TRUE(history.append(sampleEntry()));
    const fs::path pending = history.pendingPath();
    ASSERT_TRUE(fs::exists(pending));
    std::error_code error;
    fs::remove(pending, error);
    if (error) GTEST_SKIP() << "a file held open keeps its name here: " << error.message();
    fs::create_symlink(privateFile, pending);
    EXPECT_TRUE(history.append(sampleEntry()));
    EXPECT_EQ(contentsOf(privateFile), kPrivateText);
    fs::remove(csv());
    EXPECT_FALSE(history.appendPending());
    EXPECT_EQ(history.lastRows(20).size(), 2u);
    expectNothingPrivateCopied();
}

// An older version's history in Record/, carried into History/ by the first starts that use it.
std::string row(const std::string& model, const std::string& ended) {
    HistoryEntry entry;
    entry.started = entry.ended = ended;
    entry.job = "update";
    entry.modelName = model;
    entry.result = "done";
    return historyRowLine(entry);
}

HistoryEntry strandedAt(JobStep step) {
    HistoryEntry entry;
    entry.started = "2026-11-01T09:00:00+01:00";
    entry.job = "update";
    entry.modelName = "left by the older version";
    entry.step = step;
    return entry;
}

TEST(HistoryCarryOver, AnOlderLayoutJoinsTheSharedHistoryOnceAndItsStrandedUpdateIsOffered) {
    const fs::path app = bustest::makeTemporaryFolder("carry-over-");
    const fs::path record = app / "Record", history = app / "History";
    fs::create_directories(record), fs::create_directories(history);
    const std::string start = historyFileStart();
    const std::string formula = "=HYPERLINK(1)", formulaEnd = "2026-11-01T10:00:00+01:00";
    // The older version wrote one column fewer.
    std::string earlierStart = start, earlierRow = row("R1", "2026-11-01T08:00:00+01:00");
    earlierStart.erase(earlierStart.rfind(','), earlierStart.rfind('\r') - earlierStart.rfind(','));
    earlierRow.erase(earlierRow.rfind(','), 1);
    writeFile(record / "UpdateHistory.csv", earlierStart + earlierRow + formulaEnd + ',' + formulaEnd + ",0.0,update," +
                                                formula + ",,,,,,,,done,,,,\r\n");
    writeFile(record / "UpdateHistory.20261101-0900-1.stranded", markerText(strandedAt(JobStep::Copy)));
    writeFile(record / "UpdateHistory.running", markerText(strandedAt(JobStep::StopDisk)));  // an oldest version's
    writeFile(record / "UpdateHistory.20261101-0930-2.pending", row("P1", "2026-11-01T08:30:00Z"));
    writeFile(record / "UpdateHistory-2026-01-01.csv", "rotated");
    writeFile(record / "UpdateHistory.odd.stranded", "no record");
    writeFile(history / "UpdateHistory.csv", start + row("H1", "2026-11-01T09:00:00+01:00"));

    const std::string appFolder = app.string() + "/";
    std::thread other([&] { historyFolderOf(appFolder); });  // two first starts at once
    EXPECT_EQ(historyFolderOf(appFolder), appFolder + "History/");
    other.join();
    historyFolderOf(appFolder);  // and a later one

    struct Carried {
        const char* what;
        fs::path file;
        bool inRecord, inHistory;
    };
    for (const Carried& c : {Carried{"rows", "UpdateHistory.csv", false, true},
                             Carried{"a stranded record", "UpdateHistory.20261101-0900-1.stranded", false, true},
                             Carried{"a running record", "UpdateHistory.running", false, true},
                             Carried{"pending rows", "UpdateHistory.20261101-0930-2.pending", false, false},
                             Carried{"a rotated file", "UpdateHistory-2026-01-01.csv", false, true},
                             Carried{"no record of the program's", "UpdateHistory.odd.stranded", true, false}}) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fs::exists(record / c.file), c.inRecord);
        EXPECT_EQ(fs::exists(history / c.file), c.inHistory);
    }
    // One header, every row once, in the order of their ends; the older file's formula shown as text.
    EXPECT_EQ(contentsOf(history / "UpdateHistory.csv"),
              start + row("R1", "2026-11-01T08:00:00+01:00") + row("H1", "2026-11-01T09:00:00+01:00") +
                  row("P1", "2026-11-01T08:30:00Z") + row(formula, formulaEnd));

    // The next start records the older version's dead job and offers both its stranded updates.
    UpdateHistory shared(appFolder + "History/");
    const UpdateHistory::Recovery recovery = shared.recoverInterruptedJobs();
    EXPECT_EQ(recovery.interrupted.size(), 1u);
    ASSERT_EQ(recovery.stranded.size(), 2u);
    for (const UpdateHistory::Stranded& update : recovery.stranded) EXPECT_TRUE(shared.takeStranded(update).held());
    fs::remove_all(app);
}

}  // namespace
