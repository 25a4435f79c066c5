// Races and faults between instances over one job's records, with real files: whoever holds a
// job's lock is its only holder, and a record is used only as it is under that lock.
#include "temporary_folder.h"

#include "jobs/job_record.h"
#include "jobs/update_history.h"
#include "platform/files/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;

HistoryEntry strandedEntry(const std::string& firmware) {
    HistoryEntry entry;
    entry.started = "2026-12-09T08:15:03+01:00";
    entry.job = "update";
    entry.modelName = "TS-2";
    entry.firmwarePath = firmware;
    entry.step = JobStep::Copy;
    return entry;
}

struct Race {
    const char* name;
    std::function<void(UpdateHistory& history)> run;
};

const Race kRaces[] = {
    {"two takers: the second gets nothing until the first lets go",
     [](UpdateHistory& history) {
         JobRecordFiles first = JobRecordFiles::create(history.folder());
         EXPECT_FALSE(JobRecordFiles::take(history.folder(), first.id()).held());
         first.release();
         EXPECT_TRUE(JobRecordFiles::take(history.folder(), first.id()).held());
     }},
    // Linux and Windows show the late one a nameless file; Wine keeps the name (it reports no
    // pending deletion), so the late one holds the file that keeps it: one holder either way.
    {"released while another had its lock file open: the late one and a newcomer never both hold it",
     [](UpdateHistory& history) {
         JobRecordFiles holder = JobRecordFiles::create(history.folder());
         const std::string lockName = fs::path(holder.path(kLockSuffix)).filename().string();
         platform::File late = openLockFile(history.folder(), lockName).file;
         holder.release();
         ASSERT_TRUE(platform::tryLockFile(late));
         const bool lateHolds = platform::lockedFileIsNamed(late, history.folder(), lockName);
         EXPECT_FALSE(lateHolds && JobRecordFiles::take(history.folder(), holder.id()).held());
         late.close();
         EXPECT_TRUE(JobRecordFiles::take(history.folder(), holder.id()).held()) << "free once both let go";
     }},
    {"a stranded update finished by another instance after it was seen is not taken",
     [](UpdateHistory& history) {
         JobRecordFiles::create(history.folder()).strand(markerText(strandedEntry("a.bin")));
         const UpdateHistory::Stranded seen = history.strandedUpdates().at(0);
         {
             JobRecordFiles finisher = history.takeStranded(seen);
             ASSERT_TRUE(finisher.held());
             finisher.removeStranded();
         }
         EXPECT_FALSE(history.takeStranded(seen).held());
         EXPECT_TRUE(history.strandedUpdates().empty()) << "no phantom record";
     }},
    {"a stranded update rewritten after it was seen is taken only as it is now",
     [](UpdateHistory& history) {
         JobRecordFiles::create(history.folder()).strand(markerText(strandedEntry("a.bin")));
         const UpdateHistory::Stranded seen = history.strandedUpdates().at(0);
         JobRecordFiles::take(history.folder(), seen.id).strand(markerText(strandedEntry("b.bin")));
         EXPECT_FALSE(history.takeStranded(seen).held());
         EXPECT_TRUE(history.takeStranded(history.strandedUpdates().at(0)).held());
     }},
    {"markers after the switch are whole, and the job's death leaves its update stranded at its last step",
     [](UpdateHistory& history) {
         {
             JobRecord record(&history, strandedEntry("a.bin"), {});
             record.begin();
             for (JobStep step : {JobStep::BootloaderSwitch, JobStep::WaitingForDisk, JobStep::Copy})
                 record.enterStep(step);
             const auto ids = jobIdsIn(history.folder(), kMarkerSuffix);
             ASSERT_EQ(ids.size(), 1u);
             const RecordText marker = readRecordFile(history.folder(), jobFileName(ids[0], kMarkerSuffix), 4096);
             ASSERT_TRUE(marker.text);
             EXPECT_EQ(parseMarker(*marker.text).value_or(HistoryEntry{}).step, JobStep::Copy);
         }  // the process dies: its lock goes, no row is written
         const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
         ASSERT_EQ(recovery.stranded.size(), 1u);
         EXPECT_EQ(recovery.stranded[0].entry.step, JobStep::Copy);
     }},
};

TEST(RecordRaces, EachEndsWithOneHolderAndNoRecordThatLies) {
    for (const Race& race : kRaces) {
        SCOPED_TRACE(race.name);
        const fs::path folder = bustest::makeTemporaryFolder("record-races-");
        {
            UpdateHistory history(folder.string());
            race.run(history);
        }
        EXPECT_TRUE(jobIdsIn(folder.string() + "/", kLockSuffix).empty()) << "every lock file goes with its holder";
        fs::remove_all(folder);
    }
}

}  // namespace
