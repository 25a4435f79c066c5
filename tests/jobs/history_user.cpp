// One user's program on a history that the users of a PC share, run by the tests as another user
// (setpriv). Its umask keeps what it makes private, as a careful user's does: the history's files
// must be shared all the same. Exit code 0: the step did what it says; 1: it could not.
//   history_user append FOLDER JOB    a row of the given job
//   history_user die FOLDER STEP      a job that dies at the step (by name: "erase", "copy"), its
//                                     files left as a killed program leaves them
//   history_user recover FOLDER N     records the dead jobs: N of them
//   history_user finish FOLDER N      finishes the stranded updates: N of them
#include "jobs/history_row.h"
#include "jobs/update_history.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

HistoryEntry entryOf(const std::string& job) {
    HistoryEntry entry;
    entry.started = entry.ended = historyTimeNow();
    entry.job = job;
    entry.modelName = "TS-2";
    entry.programVersion = "1.0";
    entry.computerName = "BENCH-PC";
    entry.result = "done";
    return entry;
}

int die(const std::string& folder, const std::string& step) {
    JobRecordFiles files = JobRecordFiles::create(folder);
    HistoryEntry entry = entryOf("update");
    entry.result.clear();
    entry.step = step == "copy" ? JobStep::Copy : JobStep::Erase;
    ::_exit(files.writeMarker(markerText(entry), true) ? 0 : 1);  // as if killed: its lock file and marker stay
}

int finishStranded(UpdateHistory& history, std::size_t expected) {
    std::size_t finished = 0;
    for (const UpdateHistory::Stranded& stranded : history.strandedUpdates()) {
        JobRecordFiles files = JobRecordFiles::take(history.folder(), stranded.id);
        if (!files.held()) return 1;
        HistoryEntry entry = finishingEntry(stranded.entry);
        entry.result = "done";
        if (history.append(entry)) return 1;
        files.removeStranded();
        ++finished;
    }
    return finished == expected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    ::umask(077);
    const std::string command = argv[1], folder = argv[2];
    if (command == "die") return die(folder, argv[3]);
    UpdateHistory history(folder);
    if (command == "append") return history.append(entryOf(argv[3])) ? 1 : 0;
    const std::size_t expected = std::stoul(argv[3]);
    if (command == "recover") {
        const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
        return !recovery.problem && recovery.interrupted.size() == expected ? 0 : 1;
    }
    if (command == "finish") return finishStranded(history, expected);
    return 2;
}
