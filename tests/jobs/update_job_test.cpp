// The update job's steps, progress, stop and failures against a controller written in the test:
// it acknowledges what it is told to and shows an update disk on the bootloader request.
#include "environment.h"
#include "update_job_support.h"

#include "jobs/file_sha256.h"
#include "jobs/image_records.h"
#include "jobs/job_record.h"
#include "jobs/learned_disks.h"
#include "jobs/update_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <optional>
#include <set>

namespace {

namespace fs = std::filesystem;
using lumaro::test::JobFiles;
using lumaro::test::RecordingScreen;
using platform::Report;

class FakeController final : public PacketChannel {
public:
    platform::OsError write(const Report& report, int) override {
        received.push_back(report);
        if (onReport) onReport(report);
        const std::uint8_t command = report[5];
        if (command == CmdBootLoaderMode) {
            if (onBootloader) onBootloader();
        } else if (!silentTo.contains(command)) {
            Report ack{};
            ack[1] = 0xA9, ack[5] = command, ack[6] = 0x06, ack[7] = 0x0D;
            replies.push_back(ack);
        }
        return platform::kOk;
    }
    platform::OsError read(Report& report, int) override {
        if (replies.empty()) return platform::kErrorTimeout;
        report = replies.front();
        replies.pop_front();
        return platform::kOk;
    }
    std::vector<std::uint8_t> commands() const {
        std::vector<std::uint8_t> found;
        for (const Report& r : received) found.push_back(r[5]);
        return found;
    }

    std::vector<Report> received;
    std::deque<Report> replies;
    std::set<std::uint8_t> silentTo;
    std::function<void()> onBootloader;
    std::function<void(const Report&)> onReport;  // before the controller answers
};

void writeScript(const fs::path& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(file, fs::perms::owner_all);
}

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class UpdateJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = files.dir / "bus";
        fs::create_directories(bus / "drives/C");
        fs::create_directories(bus / "tools");
        bustest::setEnvironment("LUMARO_VBUS_DIR", bus.string());
        // The controller's bootloader shows drive F with its old firmware; the tool takes it away.
        writeScript(bus / "tools/S2", "rm -rf \"$LUMARO_VBUS_DIR/drives/F\"");
        controller.onBootloader = [this] { showUpdateDisk(); };
        // A PC that has updated this model before knows its kind of update disk.
        bustest::useUserDataFolderIn(files.dir.string());
        learnUpdateDiskModel("VID_1FC9&PID_0003", "USB\\VID_1FC9&PID_0114\\UNIT1");
        input = {"LPC1764", files.firmware, files.image(810), true, {}, "TC-100", "VID_1FC9&PID_0003", {}, {}, {}, {}};
    }
    void TearDown() override { bustest::clearEnvironment("LUMARO_VBUS_DIR"); }

    void showUpdateDisk() {
        std::ofstream(bus / "drives/F.usb") << "USB\\VID_1FC9&PID_0114\\UNIT1\n";
        fs::create_directories(bus / "drives/F");
        std::ofstream(bus / "drives/F/firmware.bin") << "old firmware";
    }

    void run() {
        RequestTimeouts quick;
        quick.eraseAckMs = quick.startAckMs = quick.recordAckMs = 150;
        ControllerRequests requests(controller, packet, ioError, busy, [this](const std::string& l) { screen.log(l); },
                                    [](int) {}, quick);
        UpdateJob job(input, requests, jobScreen ? *jobScreen : screen, busy,
                      [this](int ms) {
                          waits.push_back(ms);
                          return onWait ? onWait(ms) : true;
                      },
                      5000);
        if (finishDrive.empty()) job.RunUpdateJob();
        else job.FinishOnUpdateDrive(finishDrive);
    }

    JobFiles files;
    fs::path bus;
    FakeController controller;
    RecordingScreen screen;
    UpdateJobInput input;
    platform::Report packet{};
    platform::OsError ioError = 0;
    std::atomic<bool> busy{false};
    std::vector<int> waits;
    std::function<bool(int ms)> onWait;  // after the wait is counted; false: the window closes
    UpdateScreen* jobScreen = nullptr;   // the screen the job is given, when not screen itself
    std::string finishDrive;             // run only the end of an interrupted update, on this drive
};

// What arrives at the controller is checked against the simulator; here: the window's changes in
// their order, and the job's fixed waits.
TEST_F(UpdateJobTest, AWholeUpdateChangesTheScreenInOrderAndEndsDone) {
    run();
    EXPECT_EQ(controller.commands().front(), CmdEraseFlashImg);
    EXPECT_EQ(controller.commands().back(), CmdBootLoaderMode);
    EXPECT_EQ(screen.changes(),
              (std::vector<std::string>{"log Signatures: firmware: unsigned; image data: unsigned",
                                        "log Get Update Disk String..C:", "log Start to clear image data .... ",
                                        "progress 10", "log Erase flash finish !", "progress 20", "progress 40",
                                        "progress 40", "progress 365", "progress 375", "progress 385", "progress 395",
                                        "done", "progress 401", "buttons", "timer off"}));
    EXPECT_EQ(waits, (std::vector<int>{100, 10, 8000, 5000}));
    EXPECT_EQ(contentsOf(bus / "USBDeview.exe"), contentsOf(bus / "tools/S2"));
    EXPECT_FALSE(fs::exists(bus / "drives/F"));
    EXPECT_FALSE(busy);
}

TEST_F(UpdateJobTest, NothingIsSentWhenTheUpdateCannotBeMade) {
    struct Case {
        const char* what;
        std::string chipType, firmware, image, line;
    };
    const std::string missing = (files.dir / "missing.bin").string();
    const std::string folder = files.dir.string();
    const std::string empty = (files.dir / "Empty_FW_1.0.4.bin").string();
    std::ofstream{empty};
    // 65,536 records: the 16-bit record number would wrap and overwrite the first records.
    const std::string tooLong = files.image(65535 * IMAGE_RECORD_SIZE);
    for (const Case& c : {Case{"boot board", "47J53", files.firmware, input.imagePath, ""},
                          Case{"no firmware", "LPC1764", missing, input.imagePath, "Error -> Firmware file: no such file: " + missing},
                          Case{"empty firmware", "LPC1764", empty, input.imagePath, "Error -> Firmware file: empty file: " + empty},
                          Case{"empty image data", "LPC1764", files.firmware, empty, "Error -> Image data file: empty file: " + empty},
                          Case{"image is a folder", "LPC1764", files.firmware, folder, "Error -> Image data file: not a file: " + folder},
                          Case{"too many records", "LPC1764", files.firmware, tooLong,
                               "Error -> Image data file: more than 65535 records, the most the controller can take: " + tooLong}}) {
        SCOPED_TRACE(c.what);
        screen.clear();
        input.chipType = c.chipType, input.firmwarePath = c.firmware, input.imagePath = c.image;
        run();
        EXPECT_TRUE(controller.received.empty());
        std::vector<std::string> expected{"failed", "buttons", "timer off"};
        if (!c.line.empty()) expected.insert(expected.begin(), "log " + c.line);
        EXPECT_EQ(screen.changes(), expected);
        EXPECT_FALSE(busy);
    }
}

TEST(ImageDataFile, TheLastRecordNumberTheControllerCanTakeIsTheLimit) {
    const JobFiles files;
    EXPECT_EQ(imageRecordCount(0), 1u);
    EXPECT_EQ(imageRecordCount(810), 16u);
    EXPECT_FALSE(imageDataFileProblem(files.image(65534 * IMAGE_RECORD_SIZE + 53)).has_value());  // 65,535 records
    EXPECT_TRUE(imageDataFileProblem(files.image(65535 * IMAGE_RECORD_SIZE)).has_value());
    EXPECT_FALSE(firmwareFileProblem(files.firmware).has_value());
}

// Done only when the stop was confirmed and the disk then left. The tool's background job plays the
// device side of the bus's stop request, which the system's eject makes on the bus.
TEST_F(UpdateJobTest, AStopEndsDoneOnlyWhenConfirmedAndTheSystemsEjectFollowsAToolThatLeftTheDisk) {
    const auto onStopRequest = [](const std::string& answer) {
        return "(cd \"$LUMARO_VBUS_DIR/drives\" && while [ ! -e F.stop ]; do sleep 0.05; done; " + answer +
               ") >/dev/null 2>&1 &\n";
    };
    const std::string stopped = "rm -rf F; rm -f F.stop", refused = "echo refused > F.stop";
    struct Case {
        const char* what;
        std::string tool;
        std::string lastLine;  // empty: done
    };
    const Case cases[] = {
        {"the disk pulled as the tool fails", "rm -rf \"$LUMARO_VBUS_DIR/drives/F\"; exit 3",
         "Error -> Stop the update disk fail: F: went away during its stop, which was not confirmed (the stop tool exited "
         "with code 3): whether the controller took the firmware is not known"},
        {"the tool says yes and leaves the disk", onStopRequest(stopped) + "exit 0", ""},
        {"the tool refuses", onStopRequest(stopped) + "exit 1", ""},
        {"the tool and the system refuse", onStopRequest(refused) + "exit 1",
         "Error -> Stop the update disk fail: stopping F: through the system: the device side refused to stop F:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        screen.clear();
        fs::remove_all(bus / "drives/F");
        writeScript(bus / "tools/S2", c.tool);
        run();
        EXPECT_EQ(screen.has("done"), c.lastLine.empty());
        const auto lines = screen.logLines();
        ASSERT_FALSE(lines.empty());
        if (!c.lastLine.empty()) {
            EXPECT_EQ(lines.back(), c.lastLine);
        }
        const bool fellBack = c.tool.find("F.stop") != std::string::npos;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.starts_with("Note: the stop tool did not stop F:"); }),
                  fellBack ? 1 : 0);
        fs::remove(bus / "drives/F.stop");
    }
}

// Closing the window while the end request is polled: the controller must stay in its firmware,
// not be left showing an update disk that nobody fills.
TEST_F(UpdateJobTest, AJobStoppedDuringTheEndRequestSendsNoBootloaderSwitch) {
    for (const bool acknowledged : {true, false}) {
        SCOPED_TRACE(acknowledged ? "acknowledged" : "unanswered");
        controller = {};
        screen.clear();
        controller.onReport = [this, acknowledged](const Report& report) {
            if (report[5] != CmdFlashImgDataStart || report[6] != 0x01) return;  // not the end request
            busy = false;
            if (!acknowledged) controller.silentTo = {CmdFlashImgDataStart};
        };
        run();
        EXPECT_EQ(controller.commands().back(), CmdFlashImgDataStart);
        EXPECT_FALSE(screen.has("done") || screen.has("failed") || screen.has("buttons"));
        EXPECT_FALSE(fs::exists(bus / "drives/F"));
        EXPECT_FALSE(busy);
    }
}

// The simulator's faults cover the erase, the records and the disk; these it cannot make.
TEST_F(UpdateJobTest, AnUnansweredStartOrADiskThatIsNotStoppedEndsFailed) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string line;
        std::uint8_t lastSent;
    };
    const Case cases[] = {
        {"start", [this] { controller.silentTo = {CmdFlashImgDataStart}; },
         "Error -> Send image data start fail: no acknowledgement in time", CmdFlashImgDataStart},
        {"tool", [this] { std::ofstream(bus / "tools/S2") << "not a program"; },
         "Error -> Stop the update disk fail: ", CmdBootLoaderMode},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        run();
        EXPECT_EQ(controller.commands().back(), c.lastSent);
        const auto lines = screen.logLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with(c.line)) << lines.back();
        const auto changes = screen.changes();
        EXPECT_EQ(std::vector<std::string>(changes.end() - 3, changes.end()),
                  (std::vector<std::string>{"failed", "buttons", "timer off"}));
        EXPECT_FALSE(busy);
        controller = {};
        screen.clear();
        SetUp();
    }
}

// The first time a PC meets the update disk, Windows installs its driver before the disk shows.
// Time here is the job's own waits: a minute passes at once.
class LateUpdateDisk : public UpdateJobTest {
protected:
    void SetUp() override {
        UpdateJobTest::SetUp();
        controller.onBootloader = [this] { sinceSwitch = 0; };
        onWait = [this](int ms) {
            if (!sinceSwitch) return true;
            *sinceSwitch += ms;
            if (diskAfterMs && *sinceSwitch >= *diskAfterMs) {
                showUpdateDisk();
                diskAfterMs.reset();
            }
            return !closeAfterMs || *sinceSwitch < *closeAfterMs;
        };
    }
    std::vector<int> pollsAfterTheBootloaderWait() const {
        const auto switchWait = std::find(waits.begin(), waits.end(), kBootloaderWaitMs);
        std::vector<int> polls;
        for (auto at = switchWait + 1; at != waits.end() && *at == kUpdateDiskPollMs; ++at) polls.push_back(*at);
        return polls;
    }
    long waitingLines() const {
        const auto lines = screen.logLines();
        return std::count(lines.begin(), lines.end(), "Waiting for the update disk ...");
    }

    std::optional<int> sinceSwitch;  // counted from the bootloader request
    std::optional<int> diskAfterMs;
    std::optional<int> closeAfterMs;
};

TEST_F(LateUpdateDisk, ADiskThatShowsWithinTheMinuteIsTakenAndTheWaitIsLoggedOnce) {
    diskAfterMs = 20000;
    run();
    EXPECT_TRUE(screen.has("done"));
    EXPECT_FALSE(screen.has("failed"));
    EXPECT_EQ(pollsAfterTheBootloaderWait().size(), 24u);  // looked for at 8 s, then every half second
    EXPECT_EQ(waitingLines(), 1);
    EXPECT_FALSE(fs::exists(bus / "drives/F"));
}

TEST_F(LateUpdateDisk, ADiskThatNeverShowsFailsOneMinuteAfterTheSwitch) {
    run();
    EXPECT_EQ(kBootloaderWaitMs + kUpdateDiskPollMs * static_cast<int>(pollsAfterTheBootloaderWait().size()), 60000);
    EXPECT_EQ(waitingLines(), 1);
    const auto lines = screen.logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error -> No update disk appeared within 60 s after the bootloader switch");
    const auto changes = screen.changes();
    EXPECT_EQ(std::vector<std::string>(changes.end() - 3, changes.end()),
              (std::vector<std::string>{"failed", "buttons", "timer off"}));
    EXPECT_FALSE(busy);
}

// A window that closes while the job looks for the disk ends the job without a word on the screen.
TEST_F(LateUpdateDisk, ClosingTheWindowWhileTheDiskIsAwaitedEndsTheJobQuietly) {
    closeAfterMs = 9000;
    run();
    EXPECT_EQ(pollsAfterTheBootloaderWait().size(), 2u);
    EXPECT_EQ(waits.back(), kUpdateDiskPollMs);
    EXPECT_EQ(screen.changes().back(), "log Waiting for the update disk ...");
    EXPECT_FALSE(screen.has("failed") || screen.has("done") || screen.has("buttons"));
}

// The update history's side of the job: one row for each way it ends, naming the step, and a
// marker that says, while the job waits after the bootloader switch, that it got that far.
class RecordedUpdateJob : public UpdateJobTest {
protected:
    // Forwards to the fixture's screen, which the recording screen cannot own.
    class Forward final : public UpdateScreen {
    public:
        explicit Forward(UpdateScreen& to) : to_(to) {}
        void setProgress(int width) override { to_.setProgress(width); }
        void log(const std::string& line) override { to_.log(line); }
        void showFailed() override { to_.showFailed(); }
        void showDone() override { to_.showDone(); }
        void setStartUpdateCaption(const std::string& caption) override { to_.setStartUpdateCaption(caption); }
        void enableJobButtons() override { to_.enableJobButtons(); }
        void stopRunTimer() override { to_.stopRunTimer(); }

    private:
        UpdateScreen& to_;
    };

    void runRecorded(JobStep doneStep = JobStep::None) {
        HistoryEntry known;
        known.job = "update", known.modelName = "Tessaray TS-2", known.vidPid = "VID_1FC9&PID_0003";
        known.chipType = input.chipType, known.firmwarePath = input.firmwarePath, known.imagePath = input.imagePath;
        {
            RecordingUpdateScreen recording(std::make_unique<Forward>(screen), &history, known, doneStep);
            jobScreen = &recording;
            run();
            jobScreen = nullptr;
        }
    }
    // The last row's fields: result, step, error.
    std::vector<std::string> lastRow() const {
        const auto rows = history.lastRows(1);
        if (rows.empty()) return {};
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (const char c : rows[0]) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) fields.emplace_back();
            else fields.back() += c;
        }
        return fields;
    }
    void SetUp() override {
        UpdateJobTest::SetUp();
        fs::create_directories(files.dir / "Record");
    }

    UpdateHistory history{(files.dir / "Record").string()};
};

TEST_F(RecordedUpdateJob, ADoneUpdateLeavesItsRowWithBothFilesHashes) {
    runRecorded();
    ASSERT_TRUE(screen.has("done"));
    const auto row = lastRow();
    ASSERT_EQ(row.size(), 18u);
    EXPECT_EQ(row[3], "update");
    EXPECT_EQ(row[17], "firmware: unsigned; image data: unsigned");
    EXPECT_EQ(row[7], "Tessaray_FW_1.0.4.bin");
    EXPECT_EQ(row[8], "3ce25eba665cf97a0d49cf22f45be4333bed971c41f0d4345801a1aacaa638f2");  // sha256sum's
    EXPECT_EQ(row[10], fileSha256(input.imagePath));
    EXPECT_EQ(row[11], "16");
    EXPECT_EQ(row[12], "done");
    EXPECT_EQ(row[13], "stop the disk");
    EXPECT_EQ(row[14], "");
    EXPECT_TRUE(jobIdsIn(history.folder(), kMarkerSuffix).empty());
    EXPECT_TRUE(history.strandedUpdates().empty());
    EXPECT_EQ(history.lastRows(20).size(), 1u);
}

TEST_F(RecordedUpdateJob, AFailedOrStoppedUpdateNamesTheStepWhereItEnded) {
    // The copy fails: the controller's disk holds a folder where the new firmware file goes.
    controller.onBootloader = [this] {
        showUpdateDisk();
        fs::create_directories(bus / "drives/F/Upfirmware.bin");
    };
    runRecorded();
    auto row = lastRow();
    EXPECT_EQ(row[12], "failed");
    EXPECT_EQ(row[13], "copy");
    EXPECT_TRUE(row[14].starts_with("Error -> Copy firmware to the update disk fail")) << row[14];
    // Failed after the switch: the controller waits in its bootloader, and the next run finishes it.
    ASSERT_EQ(history.strandedUpdates().size(), 1u);
    EXPECT_EQ(history.strandedUpdates()[0].entry.step, JobStep::Copy);
    for (const auto& stranded : history.strandedUpdates()) {
        JobRecordFiles taken = JobRecordFiles::take(history.folder(), stranded.id);
        taken.removeStranded();
    }

    // The window closes during the wait after the switch; the marker meanwhile says how far the job got.
    controller.onBootloader = [this] { showUpdateDisk(); };
    std::optional<HistoryEntry> markerDuringTheWait;
    onWait = [&](int ms) {
        if (ms != kBootloaderWaitMs) return true;
        const std::vector<std::string> running = jobIdsIn(history.folder(), kMarkerSuffix);
        if (running.size() != 1) return false;
        std::ifstream in(jobFilePath(history.folder(), running[0], kMarkerSuffix), std::ios::binary);
        markerDuringTheWait = parseMarker(std::string(std::istreambuf_iterator<char>(in), {}));
        return false;
    };
    runRecorded();
    ASSERT_TRUE(markerDuringTheWait);
    EXPECT_EQ(markerDuringTheWait->step, JobStep::BootloaderSwitch);
    EXPECT_EQ(markerDuringTheWait->firmwarePath, input.firmwarePath);
    EXPECT_EQ(markerDuringTheWait->firmwareSha256, fileSha256(input.firmwarePath));
    row = lastRow();
    EXPECT_EQ(row[12], "stopped");
    EXPECT_EQ(row[13], "bootloader switch");
    EXPECT_TRUE(jobIdsIn(history.folder(), kMarkerSuffix).empty());
    EXPECT_EQ(history.strandedUpdates().size(), 1u);

    // Refused before anything is sent: the row says so, with no step.
    input.firmwarePath = (files.dir / "missing.bin").string();
    onWait = {};
    busy = false;  // a stopped job leaves it to the window that stopped it
    runRecorded();
    row = lastRow();
    EXPECT_EQ(row[12], "failed");
    EXPECT_EQ(row[13], "");
    EXPECT_EQ(row[8], "");
    EXPECT_EQ(history.lastRows(20).size(), 3u);
}

// What a dead program left: the controller in its bootloader, its disk showing the old file.
TEST_F(RecordedUpdateJob, FinishingAnInterruptedUpdatePutsTheFirmwareOnTheDiskAndStopsIt) {
    showUpdateDisk();
    writeScript(bus / "tools/S2", "cp \"$LUMARO_VBUS_DIR/drives/F/Upfirmware.bin\" \"$LUMARO_VBUS_DIR/taken.bin\"; "
                                  "rm -rf \"$LUMARO_VBUS_DIR/drives/F\"");
    finishDrive = "F:";
    runRecorded(JobStep::FinishedAfterInterruption);
    EXPECT_TRUE(controller.received.empty());
    EXPECT_TRUE(screen.has("done"));
    EXPECT_EQ(contentsOf(bus / "taken.bin"), files.firmwareContents);
    EXPECT_FALSE(fs::exists(bus / "drives/F"));
    const auto row = lastRow();
    EXPECT_EQ(row[12], "done");
    EXPECT_EQ(row[13], "finished after an interruption");
    EXPECT_FALSE(busy);
}

}  // namespace
