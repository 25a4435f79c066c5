// An older version's history in Record/ carried into History/ by the first starts that use it.
#include "temporary_folder.h"

#include "jobs/history_folder.h"
#include "jobs/update_history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

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
    writeFile(record / "UpdateHistory.csv", start + row("R1", "2026-11-01T08:00:00+01:00") + formulaEnd + ',' +
                                                formulaEnd + ",0.0,update," + formula + ",,,,,,,,done,,,,\r\n");
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
