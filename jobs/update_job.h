// The update job: erases the controller's image flash, streams the image data file to it, switches
// it into its bootloader, puts the firmware file on the update disk the controller then shows, and
// has that disk stopped, moving the progress bar and ending in the done or the failed screen.
// Clearing jobBusy stops it between steps; it then changes nothing more on the screen. Once the
// firmware is being copied onto the update disk the job goes on to its end, done or failed, so that
// the end tells what became of the controller.
#pragma once

#include "removedisk.h"
#include "update_screen.h"

#include "link/controller_requests.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

inline constexpr int kBootloaderWaitMs = 8000;  // the controller needs this long to show its disk
// A PC that meets the update disk for the first time installs its driver first, which can take
// most of a minute: the job keeps looking until this long after the bootloader switch.
inline constexpr int kUpdateDiskDeadlineMs = 60000;
inline constexpr int kUpdateDiskPollMs = 500;
inline constexpr int kFinishWaitMs = 5000;      // device events stay ignored this long after the end
inline constexpr int kAfterStartWaitMs = 100;
inline constexpr int kBeforeEndWaitMs = 10;
inline constexpr int kDriveLeaveWaitMs = 5000;  // a disk confirmed stopped leaves the drive list well within this
inline constexpr int kDriveLeavePollMs = 50;

struct UpdateJobInput {
    std::string chipType;      // of the current model; "47J53" boards are not updated here
    std::string firmwarePath;  // copied onto the update disk
    std::string imagePath;     // streamed into the image flash
    bool is64BitWindows = false;
    std::string port;          // the controller's USB port; empty when the system cannot tell
    std::string modelName;     // for a question about the update disk
    std::string vidPid;        // the model, whose kind of update disk is learned once one is done
    std::string diskIdentity;  // the update disk an interrupted update saw; empty: none seen yet
    std::optional<DriveFacts> confirmedDisk;  // a drive a person said is the update disk, as it was then
    std::string namedDrive;    // a drive a person named as the update disk before it was seen (lumaro-update --finish-on)
    std::string keysFolder;    // the trusted keys of the files' signatures (Keys/ beside the program)
};

// The job's fixed waits. Returns false when the wait was cut short because the job is to be
// abandoned (its window is closing); the job then ends without touching the screen again.
using JobWait = std::function<bool(int ms)>;

class UpdateJob {
public:
    UpdateJob(UpdateJobInput input, ControllerRequests& requests, UpdateScreen& screen, std::atomic<bool>& busy,
              JobWait wait, int stopToolTimeoutMs = kStopToolTimeoutMs);

    void RunUpdateJob();
    // The end of an update that a dead program left in the controller's bootloader: the firmware
    // file onto updateDrive, the disk stopped, the done or the failed screen.
    void FinishOnUpdateDrive(const std::string& updateDrive);
    // The end of every run that was not stopped: buttons back, timer off, and after a while jobBusy clear.
    void FinishJob();

private:
    enum class Outcome { Done, Failed, Stopped };

    Outcome runSteps();
    Outcome sendImageData();
    DiskExpectation expectation() const;
    Outcome awaitUpdateDrive(const DriveList& drivesBefore, DriveFacts& disk);
    Outcome confirmWithPerson(const DriveFacts& drive);
    Outcome putFirmwareOnDisk(const DriveList& drivesBefore);
    Outcome finishOnDisk(const DriveFacts& judged);
    Outcome stopUpdateDrive(const std::string& updateDrive);
    bool hasLeft(const std::string& updateDrive, bool waitForIt);
    Outcome failed(const std::string& line);  // logs the line (if any) and shows the failed screen
    bool stopped() const { return !jobBusy_.load(); }

    UpdateJobInput input_;
    ControllerRequests& requests_;
    UpdateScreen& screen_;
    std::atomic<bool>& jobBusy_;
    JobWait wait_;
    int stopToolTimeoutMs_;
};
