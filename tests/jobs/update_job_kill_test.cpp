// A program killed (SIGKILL) while its update waits after the bootloader switch: the next start
// finds the job's marker, writes its "interrupted" row and keeps it as a stranded update, whose
// firmware then reaches the controller's update disk and stops it, as the update would have.
#include "update_job_support.h"

#include "jobs/file_sha256.h"
#include "jobs/job_record.h"
#include "jobs/update_job.h"
#include "link/link_requests.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using lumaro::test::JobFiles;
using lumaro::test::RecordingScreen;
using lumaro::test::SimProcess;
namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The update as the program runs it, in a child process that stops at the wait after the switch.
[[noreturn]] void runUpdateUntilTheSwitch(const UpdateJobInput& input, const std::string& recordFolder) {
    if (!Find_HidDevice("VID_1FC9&PID_0003") || !Open_HidDevice()) ::_exit(2);
    LinkRequests link(controllerLink(), {}, {});
    UpdateHistory history(recordFolder);
    HistoryEntry known;
    known.job = "update", known.modelName = "Tessaray TS-2", known.vidPid = "VID_1FC9&PID_0003";
    known.chipType = input.chipType, known.firmwarePath = input.firmwarePath, known.imagePath = input.imagePath;
    RecordingUpdateScreen screen(std::make_unique<RecordingScreen>(), &history, known);
    UpdateJob job(input, link.requests(), screen, jobBusy, [](int ms) {
        while (ms == kBootloaderWaitMs) ::pause();  // killed here
        return true;
    });
    job.RunUpdateJob();
    ::_exit(3);
}

TEST(KilledUpdate, TheNextStartRecordsItAndCanFinishIt) {
    const JobFiles files;
    const fs::path record = files.dir / "Record";
    fs::create_directories(record);
    SimProcess sim({"--controller", "ctl,disk-ms=20,erase-ms=20"});
    sim.useBus();
    const UpdateJobInput input{"LPC1764", files.firmware, files.image(810), true, {}, "TC-100", "VID_1FC9&PID_0003", {}, {}, {}, {}};

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) runUpdateUntilTheSwitch(input, record.string());
    const auto marker = [&] {
        const std::vector<std::string> running = jobIdsIn(record.string() + "/", kMarkerSuffix);
        return running.size() == 1 ? fs::path(jobFilePath(record.string() + "/", running[0], kMarkerSuffix)) : fs::path();
    };
    const bool switched = waitFor([&] { return contentsOf(marker()).find("step=bootloader switch") != std::string::npos; },
                                  std::chrono::seconds(20));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(switched);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));

    // The next start.
    UpdateHistory history(record.string());
    const UpdateHistory::Recovery recovery = history.recoverInterruptedJobs();
    ASSERT_EQ(recovery.interrupted.size(), 1u);
    EXPECT_FALSE(recovery.problem);
    const auto rows = history.lastRows(20);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find(",interrupted,bootloader switch,"), std::string::npos) << rows[0];
    const std::vector<UpdateHistory::Stranded> strandedUpdates = history.strandedUpdates();
    ASSERT_EQ(strandedUpdates.size(), 1u);
    const HistoryEntry* stranded = &strandedUpdates[0].entry;
    EXPECT_EQ(stranded->firmwarePath, files.firmware);
    EXPECT_EQ(fileSha256(stranded->firmwarePath), stranded->firmwareSha256);
    EXPECT_TRUE(history.recoverInterruptedJobs().interrupted.empty()) << "recorded once";

    // Yes: the end of the update, from the copy on.
    Close_HidDevice();
    RecordingScreen* shown = nullptr;
    {
        LinkRequests link(controllerLink(), {}, {});
        auto screen = std::make_unique<RecordingScreen>();
        shown = screen.get();
        RecordingUpdateScreen recording(std::move(screen), &history, *stranded, JobStep::FinishedAfterInterruption,
                                        ::JobRecordFiles::take(history.folder(), strandedUpdates[0].id));
        UpdateJob job(input, link.requests(), recording, jobBusy, [](int) { return true; });
        job.FinishOnUpdateDrive("F:");
        EXPECT_TRUE(shown->has("done"));
    }
    EXPECT_TRUE(sim.waitForEvent("ctl", "disk-stopped"));
    EXPECT_TRUE(sim.waitForEvent("ctl", "firmware-updated"));
    const auto last = history.lastRows(1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_NE(last[0].find(",done,finished after an interruption,"), std::string::npos) << last[0];
    EXPECT_TRUE(history.strandedUpdates().empty());
    EXPECT_TRUE(marker().empty());
    jobBusy = false;
}

}  // namespace
