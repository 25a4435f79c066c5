#include "update_job.h"

#include "image_records.h"
#include "learned_disks.h"
#include "sending_pass.h"
#include "update_disk_reach.h"
#include "update_signatures.h"

#include <algorithm>
#include <chrono>
#include <thread>

UpdateJob::UpdateJob(UpdateJobInput input, ControllerRequests& requests, UpdateScreen& screen,
                     std::atomic<bool>& busy, JobWait wait, int stopToolTimeoutMs)
    : input_(std::move(input)),
      requests_(requests),
      screen_(screen),
      jobBusy_(busy),
      wait_(std::move(wait)),
      stopToolTimeoutMs_(stopToolTimeoutMs) {}

void UpdateJob::RunUpdateJob() {
    bool idle = false;
    if (!jobBusy_.compare_exchange_strong(idle, true)) return;
    if (runSteps() != Outcome::Stopped) FinishJob();
}

// The drive is judged again as the job starts: what a front end saw may have changed since.
void UpdateJob::FinishOnUpdateDrive(const std::string& updateDrive) {
    bool idle = false;
    if (!jobBusy_.compare_exchange_strong(idle, true)) return;
    const Outcome outcome = [&] {
        screen_.enteredStep(JobStep::WaitingForDisk);
        const std::vector<DriveFacts> facts = GetDriveFacts({updateDrive});
        if (facts.empty()) return failed("Error -> Update disk: " + updateDrive + " is not there any more");
        const DiskChoice choice = judgeUpdateDisk(facts.front(), expectation());
        if (choice.verdict == DiskVerdict::NotIt) return failed("Error -> Update disk: " + choice.why + ": nothing was written to it");
        if (choice.verdict == DiskVerdict::Ask)
            if (const Outcome confirmed = confirmWithPerson(facts.front()); confirmed != Outcome::Done) return confirmed;
        return finishOnDisk(facts.front());
    }();
    if (outcome != Outcome::Stopped) FinishJob();
}

void UpdateJob::FinishJob() {
    screen_.enableJobButtons();
    screen_.stopRunTimer();
    wait_(kFinishWaitMs);
    jobBusy_ = false;
}

namespace {

bool isPresent(const std::string& drive) {
    const DriveList present = GetDriveList();
    return std::find(present.begin(), present.end(), drive) != present.end();
}

}  // namespace

UpdateJob::Outcome UpdateJob::failed(const std::string& line) {
    if (!line.empty()) screen_.log(line);
    screen_.showFailed();
    return Outcome::Failed;
}

UpdateJob::Outcome UpdateJob::runSteps() {
    if (input_.chipType == "47J53") return failed({});
    // Checked before the first packet: the controller's image flash is erased only for an update
    // that has everything it needs.
    if (const auto problem = firmwareFileProblem(input_.firmwarePath))
        return failed("Error -> Firmware file: " + *problem);
    if (const auto problem = imageDataFileProblem(input_.imagePath))
        return failed("Error -> Image data file: " + *problem);
    const UpdateSignatures signatures = checkUpdateSignatures(input_.firmwarePath, input_.imagePath, input_.keysFolder);
    screen_.checkedSignatures(signaturesSummary(signatures));
    if (const auto refused = refusedSignatureLine(signatures)) return failed(*refused);
    screen_.log("Signatures: " + signaturesSummary(signatures));

    const DriveList drivesBefore = GetDriveList();
    screen_.log("Get Update Disk String.." + formatDriveList(drivesBefore));
    screen_.log("Start to clear image data .... ");
    screen_.setProgress(10);
    screen_.enteredStep(JobStep::Erase);
    if (const AckResult erased = requests_.Erase_Flash_ImgData(); erased != AckResult::Acknowledged) {
        failed("Error -> Erase image flash fail: " + describe(erased));
        screen_.setStartUpdateCaption("Start Update Firmware");
        return Outcome::Failed;
    }
    if (stopped()) return Outcome::Stopped;

    if (const Outcome sent = sendImageData(); sent != Outcome::Done) return sent;

    // A job told to stop during the end request (the window closing) must not leave the controller
    // in its bootloader, showing its update disk with nobody left to put the firmware on it.
    if (stopped()) return Outcome::Stopped;
    screen_.enteredStep(JobStep::BootloaderSwitch);
    requests_.Send_BootLoaderMode();  // a request that did not go out shows as no update disk
    if (!wait_(kBootloaderWaitMs)) return Outcome::Stopped;
    screen_.setProgress(375);
    return putFirmwareOnDisk(drivesBefore);
}

UpdateJob::Outcome UpdateJob::sendImageData() {
    screen_.setProgress(20);
    screen_.enteredStep(JobStep::ImageData);
    ImageRecord record{};
    std::int32_t recordCount = 0;
    {
        ImageRecordReader counting(input_.imagePath);
        if (!counting.isOpen()) return failed("Error -> Image data file: cannot open " + input_.imagePath);
        do {
            if (stopped()) return Outcome::Stopped;
            if (!counting.next(record)) return failed("Error -> Image data file: cannot read " + input_.imagePath);
            // Checked before the erase too; a file that grew since would have its record numbers wrap.
            if (static_cast<std::uintmax_t>(++recordCount) > kMaxImageRecords)
                return failed("Error -> Image data file: " + tooManyRecordsProblem(input_.imagePath));
        } while (!counting.atEnd());
    }

    screen_.setProgress(kSendingStartWidth);
    const AckResult started = requests_.Send_FlashImgData_Start(false, recordCount);
    if (started == AckResult::Stopped) return Outcome::Stopped;
    if (started != AckResult::Acknowledged) return failed("Error -> Send image data start fail: " + describe(started));
    if (!wait_(kAfterStartWaitMs)) return Outcome::Stopped;

    ImageRecordReader sending(input_.imagePath);
    if (!sending.isOpen()) return failed("Error -> Image data file: cannot open " + input_.imagePath);
    SendingProgress progress(recordCount);
    std::int32_t recordsSent = 0;
    do {
        if (stopped()) return Outcome::Stopped;
        if (!sending.next(record)) return failed("Error -> Image data file: cannot read " + input_.imagePath);
        if (const auto width = progress.before(recordsSent)) screen_.setProgress(*width);
        const AckResult taken = requests_.Transfer_Flash_ImgData(recordsSent, record);
        if (taken == AckResult::Stopped) return Outcome::Stopped;
        if (taken != AckResult::Acknowledged)
            return failed("Error -> Send image data record " + std::to_string(recordsSent) + " fail: " + describe(taken));
        ++recordsSent;
    } while (!sending.atEnd());
    // The controller was told how many records come; a file that changed in between would leave
    // it with a count that does not match what it took.
    if (recordsSent != recordCount)
        return failed("Error -> Image data file changed while it was sent: " + input_.imagePath);

    if (!wait_(kBeforeEndWaitMs)) return Outcome::Stopped;
    // A stop met here ends only the polling; the job sees it before the bootloader switch.
    if (const AckResult ended = requests_.Send_FlashImgData_Start(true, 0);
        ended != AckResult::Acknowledged && ended != AckResult::Stopped)
        return failed("Error -> Send image data end fail: " + describe(ended));
    screen_.setProgress(365);
    return Outcome::Done;
}

// Read at each look: a named drive's facts are those it has when it is looked at.
DiskExpectation UpdateJob::expectation() const {
    DiskExpectation expected{input_.port, input_.diskIdentity, learnedUpdateDiskModel(input_.vidPid), input_.confirmedDisk};
    if (!expected.confirmed && !input_.namedDrive.empty())
        if (const auto named = GetDriveFacts({input_.namedDrive}); !named.empty()) expected.confirmed = named.front();
    return expected;
}

// Called once the bootloader wait is over; the time is counted in the job's own waits, so a job
// whose waits are cut short for a test reaches its deadline as soon. Only a drive new since the job
// began can be the disk; one that is not the disk is said once, and the job keeps waiting for its own.
UpdateJob::Outcome UpdateJob::awaitUpdateDrive(const DriveList& drivesBefore, DriveFacts& disk) {
    screen_.enteredStep(JobStep::WaitingForDisk);
    std::string passedOver;
    std::string unreachable;
    for (int waited = kBootloaderWaitMs;; waited += kUpdateDiskPollMs) {
        const DiskExpectation expected = expectation();
        unreachable = reachUpdateDisk(expected);
        const std::vector<DriveFacts> candidates = GetDriveFacts(newDrives(drivesBefore, GetDriveList()));
        const DiskChoice choice = chooseUpdateDisk(candidates, expected);
        if (choice.verdict != DiskVerdict::NotIt) {
            disk = choice.disk;
            return choice.verdict == DiskVerdict::Take ? Outcome::Done : confirmWithPerson(disk);
        }
        if (!choice.why.empty() && choice.why != passedOver) {
            passedOver = choice.why;
            screen_.log("Not the update disk: " + passedOver);
        }
        if (waited >= kUpdateDiskDeadlineMs)
            return failed("Error -> No update disk appeared within " + std::to_string(kUpdateDiskDeadlineMs / 1000) +
                          " s after the bootloader switch" + (passedOver.empty() ? "" : " (" + passedOver + ")") +
                          (unreachable.empty() ? "" : " (" + unreachable + ")"));
        if (waited == kBootloaderWaitMs) screen_.log("Waiting for the update disk ...");
        if (!wait_(kUpdateDiskPollMs)) return Outcome::Stopped;
    }
}

// A drive that may be the disk, on a PC that has not yet seen this model's: only a person can say.
UpdateJob::Outcome UpdateJob::confirmWithPerson(const DriveFacts& drive) {
    const std::string described = describeDriveForPerson(drive.drive);
    const std::string model = input_.modelName.empty() ? std::string("the controller") : input_.modelName;
    const std::shared_ptr<DiskAnswer> answer = screen_.askAboutUpdateDisk(drive.drive,
        "Is drive " + described + " the update disk of " + model + "?\n\nThis PC has not seen the update disk of " +
        model + " before. Answer Yes only if this drive appeared when the controller was switched to its bootloader: "
        "the firmware is written to it.");
    if (!answer)
        return failed("Error -> Update disk: " + described + " may be the update disk, but this PC has not seen " + model +
                      "'s update disk before and nobody confirmed it: nothing was written to it");
    while (answer->value() == DiskAnswer::Pending)
        if (!wait_(kUpdateDiskPollMs)) return Outcome::Stopped;
    if (answer->value() == DiskAnswer::No)
        return failed("Error -> Update disk: " + drive.drive + " is not the update disk, as answered: nothing was written to it");
    return Outcome::Done;
}

UpdateJob::Outcome UpdateJob::putFirmwareOnDisk(const DriveList& drivesBefore) {
    DriveFacts disk;
    if (const Outcome found = awaitUpdateDrive(drivesBefore, disk); found != Outcome::Done) return found;
    return finishOnDisk(disk);
}

UpdateJob::Outcome UpdateJob::finishOnDisk(const DriveFacts& judged) {
    const std::string& updateDrive = judged.drive;
    screen_.setProgress(385);
    screen_.enteredStep(JobStep::Copy);
    // Checked again just before writing: a question, or only a moment, lies between the judging and
    // now, and a stick may have taken the drive's place or letter meanwhile.
    const std::vector<DriveFacts> now = GetDriveFacts({updateDrive});
    if (now.empty() || !sameDiskAsJudged(judged, now.front()))
        return failed("Error -> Update disk: " + updateDrive + " is not the drive it was a moment ago: nothing was written to it");
    // From the copy on the job sees the stop through whatever it is told: a job abandoned here
    // would leave a controller that may or may not have taken its firmware, and say neither.
    if (stopped()) return Outcome::Stopped;
    screen_.tookUpdateDisk(judged.identity);
    if (const DiskResult copied = Copy_Firmware(updateDrive, input_.firmwarePath); !copied.ok)
        return failed("Error -> Copy firmware to the update disk fail: " + copied.problem);
    screen_.enteredStep(JobStep::StopDisk);
    // A disk that is gone before it was asked to stop was pulled, not stopped: the controller may
    // not have taken the file.
    if (!isPresent(updateDrive))
        return failed("Error -> Stop the update disk fail: the update disk went away before it was stopped");
    if (const Outcome stoppedDisk = stopUpdateDrive(updateDrive); stoppedDisk != Outcome::Done) return stoppedDisk;
    learnUpdateDiskModel(input_.vidPid, judged.identity);
    screen_.setProgress(395);
    screen_.showDone();
    screen_.setProgress(401);
    return Outcome::Done;
}

// Done only when the stop was confirmed (removedisk.h: StopResult) and the disk then left the drive
// list: a disk that left without a confirmed stop may have been pulled during it, and the
// controller may have taken nothing. Such an end fails in the step "stop the disk", which keeps
// the update on record as stranded: the next run finishes it when the disk is there again, or
// settles it when the controller is back in its application on its port.
UpdateJob::Outcome UpdateJob::stopUpdateDrive(const std::string& updateDrive) {
    StopResult stop = Stop_UpdateDrive(updateDrive, input_.is64BitWindows, stopToolTimeoutMs_);
    if (!stop.note.empty()) screen_.log(stop.note);
    bool left = hasLeft(updateDrive, stop.ok);
    if (!left && stop.toolRan) {
        // A tool that ran and left the disk where it was (it refused, or hung): the system's own
        // eject may still stop it.
        screen_.log("Note: the stop tool did not stop " + updateDrive + " (" +
                    (stop.ok ? std::string("it ended with the disk still there") : stop.problem) +
                    "): it is stopped through the system instead");
        stop = {stopUpdateDriveThroughSystem(updateDrive, stopToolTimeoutMs_)};
        left = hasLeft(updateDrive, stop.ok);
    }
    if (left && stop.ok) return Outcome::Done;
    if (left)
        return failed("Error -> Stop the update disk fail: " + updateDrive + " went away during its stop, which was not "
                      "confirmed (" + stop.problem + "): whether the controller took the firmware is not known");
    if (!stop.ok) return failed("Error -> Stop the update disk fail: " + stop.problem);
    return failed("Error -> Stop the update disk fail: " + updateDrive + " is still there " +
                  std::to_string(kDriveLeaveWaitMs) + " ms after it was stopped");
}

// A disk confirmed stopped is given its time to leave; after any other end it is looked at once.
bool UpdateJob::hasLeft(const std::string& updateDrive, bool waitForIt) {
    for (int waited = 0;; waited += kDriveLeavePollMs) {
        if (!isPresent(updateDrive)) return true;
        if (!waitForIt || waited >= kDriveLeaveWaitMs) return false;
        // The job is past abandoning (see finishOnDisk): a wait cut short is made up.
        if (!wait_(kDriveLeavePollMs)) std::this_thread::sleep_for(std::chrono::milliseconds(kDriveLeavePollMs));
    }
}
