#include "update_line.h"

#include "console_screen.h"

#include "jobs/file_sha256.h"
#include "jobs/history_folder.h"
#include "jobs/image_records.h"
#include "jobs/learned_disks.h"
#include "jobs/removedisk.h"
#include "jobs/stranded_files.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "platform/core/utf8_path.h"
#include "platform/hid/hid_watch.h"
#include "platform/machine/arch.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

std::uintmax_t recordsOf(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : imageRecordCount(size);
}

constexpr int kStrandedLookMs = 1000;
constexpr int kOthersLookMs = 1000;
// A survey of answering drives ends well within it, so that a run without --wait finishes a stranded
// update it finds; one that ends later is taken at a later look.
constexpr std::chrono::milliseconds kDriveSurveyWait{2000};

// As the holder of a claim names itself to whoever else asks for it.
std::string programName() { return QCoreApplication::applicationName().toStdString(); }

}  // namespace

UpdateLine::UpdateLine(CommandOptions options, LineSetup setup, std::string appFolder, ConsoleReport& report,
                       QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      setup_(std::move(setup)),
      appFolder_(std::move(appFolder)),
      report_(report),
      // As the window decides it: anything but a 32-bit x86 machine takes the 64-bit stop tool.
      is64BitWindows_(platform::processorArchitecture() != "x86")
{
    // Where the window keeps its update history, each unit leaves its row there too.
    const std::string historyFolder = historyFolderOf(appFolder_);
    std::error_code error;
    if (std::filesystem::is_directory(platform::utf8Path(historyFolder), error))
        history_ = std::make_unique<UpdateHistory>(historyFolder);
    waitLimit_.setSingleShot(true);
    waitLimit_.setTimerType(Qt::PreciseTimer);
    connect(&waitLimit_, &QTimer::timeout, this, [this] {
        if (state_ != State::WaitingForUnit) return;
        if (units_ > 0) return finish(codeForUnits());
        report_.error("Error: no known controller was plugged in within " + std::to_string(*options_.waitSeconds) +
                      " s: check its USB cable and power, then run lumaro-update again.");
        finish(kExitNoController);
    });
    comeBackLimit_.setSingleShot(true);
    comeBackLimit_.setInterval(kComeBackMs);
    connect(&comeBackLimit_, &QTimer::timeout, this, &UpdateLine::checkUnplugged);
    strandedLook_.setInterval(kStrandedLookMs);
    connect(&strandedLook_, &QTimer::timeout, this, &UpdateLine::deviceChanged);
    othersLook_.setInterval(kOthersLookMs);
    connect(&othersLook_, &QTimer::timeout, this, &UpdateLine::deviceChanged);
}

UpdateLine::~UpdateLine()
{
    endUnitJob();  // a running job is stopped and waited for
}

void UpdateLine::start()
{
    watcher_ = new platform::HidWatcher(this);
    connect(watcher_, &platform::HidWatcher::interfaceArrived, this, &UpdateLine::deviceChanged);
    connect(watcher_, &platform::HidWatcher::interfaceRemoved, this, &UpdateLine::deviceChanged);
    if (history_) recordDeadJobs();
    if (startUnit()) return;
    if (!options_.wait && !options_.repeat) {
        report_.error("Error: no known controller is connected: plug one in (or run lumaro-update --wait to wait "
                      "for it), then run lumaro-update again.");
        return finish(kExitNoController);
    }
    if (!watcher_->isWatching())
        report_.error("Warning: plugged-in controllers cannot be seen as they arrive: run lumaro-update again "
                      "once the controller is connected.");
    waitForUnit();
}

void UpdateLine::deviceChanged()
{
    lookAtOthersUnits();
    unparkDisksThatLeft();
    if (state_ == State::WaitingForUnit) {
        startUnit();
    } else if (state_ == State::WaitingForUnplug) {
        checkUnplugged();
    }
}

// Jobs whose program died (an earlier run, the window's, another instance's) get their
// "interrupted" rows, as the window records them.
void UpdateLine::recordDeadJobs()
{
    const UpdateHistory::Recovery recovery = history_->recoverInterruptedJobs();
    for (const HistoryEntry& job : recovery.interrupted) {
        std::string line = "Interrupted: an earlier run ended during the " + job.job + " of " + job.modelName + " (" +
                           job.vidPid + ")";
        if (const std::string_view step = jobStepName(job.step); !step.empty()) line += ", at the step \"" + std::string(step) + "\"";
        report_.error(line + (leftStrandedUpdate(job)
                                  ? ": the controller waits in its bootloader with its update disk, and is finished when "
                                    "its disk is there."
                                  : "."));
    }
    for (const std::string& name : recovery.setAside)
        report_.error("Warning: the job record " + name + " could not be read: it is kept aside as " + name +
                      std::string(kUnreadableSuffix) + ".");
    for (const std::string& refused : recovery.refused) report_.error("Warning: " + refused + ".");
    if (const auto told = history_->problemToTell(recovery.problem))
        report_.error("Warning: the update history could not be written: " + *told);
}

// The window's detection: the first model of the table whose interface is present on a port the
// filter takes.
std::optional<std::size_t> UpdateLine::presentModel(const PortFilter& ports) const
{
    for (std::size_t i = 0; i < setup_.models.size(); ++i)
        if (Find_HidDevice(setup_.models[i].vidPid, ports)) return i;
    return std::nullopt;
}

bool UpdateLine::startUnit()
{
    return startFinish() || startUpdate({});
}

// Claims the unit's controller for its job, before its first packet. Where another program holds
// it, the user is told who; a single run then ends, a line leaves the unit to that program.
bool UpdateLine::claimUnit(const std::string& model, const std::string& port, const std::string& key)
{
    platform::ClaimAttempt attempt = platform::takeControllerClaim(key, programName());
    if (attempt.claim.held()) {
        claim_ = std::move(attempt.claim);
        return true;
    }
    const std::string unit = port.empty() ? model : model + " on USB port " + port;
    const std::string why = attempt.error != platform::kOk
                                ? "whether another program is updating it cannot be told (" + platform::describe(attempt.error) + ")"
                                : "another program is updating it (" + platform::describe(attempt.holder) + ")";
    if (!options_.repeat) {
        report_.error("Error: " + unit + " was left alone: " + why +
                      ". Run lumaro-update again once that program has finished.");
        finish(kExitClaimed);
        return false;
    }
    othersUnits_.emplace(port, key);
    othersLook_.start();
    report_.error("Note: " + unit + " is left alone: " + why +
                  ". lumaro-update takes it only after it has been unplugged and plugged in again.");
    return false;
}

// The line's searches take any port, or all but some: another program's units are left out too.
PortFilter UpdateLine::withOthersUnitsLeftOut(PortFilter ports) const
{
    if (othersUnits_.empty()) return ports;
    ports.kind = PortFilter::Kind::AllBut;
    for (const auto& unit : othersUnits_) ports.ports.push_back(unit.first);
    return ports;
}

// A unit whose claim another program has let go is held as a unit of this line just done: it
// restarts with that program's firmware, and is taken only once it has been unplugged.
void UpdateLine::lookAtOthersUnits()
{
    for (auto unit = othersUnits_.begin(); unit != othersUnits_.end();) {
        if (!platform::takeControllerClaim(unit->second, programName()).claim.held()) {
            ++unit;
            continue;
        }
        heldPorts_[unit->first] = false;
        comeBackLimit_.start();
        unit = othersUnits_.erase(unit);
    }
    if (othersUnits_.empty()) othersLook_.stop();
    if (state_ == State::WaitingForUnit && !heldPorts_.empty()) state_ = State::WaitingForUnplug;
}

// A stranded update whose disk is there is finished (update_disk_rule.h: the device the update saw,
// or one of the kind learned for its model, on its controller's port where ports are known); a drive
// that only a person could confirm is never guessed at, and the user is told how to name it, once.
bool UpdateLine::startFinish()
{
    if (!history_) return false;
    const std::vector<UpdateHistory::Stranded> stranded = history_->strandedUpdates();
    if (stranded.empty()) return false;
    const std::optional<DriveSurvey> survey = driveSurvey_.latest(kDriveSurveyWait, stranded);
    if (!survey) return false;
    const std::vector<DriveFacts>& drives = survey->drives;
    std::optional<DriveFacts> named;
    for (const DriveFacts& drive : drives)
        if (!options_.finishOn.empty() && drive.drive == options_.finishOn) named = drive;
    for (const UpdateHistory::Stranded& update : stranded) {
        HistoryEntry entry = update.entry;
        if (strandedTold_.contains(update.id)) continue;
        if (!entry.port.empty() && isControllerOnPort(entry.vidPid, entry.port)) {
            JobRecordFiles files = history_->takeStranded(update);
            if (!files.held()) continue;
            const auto problem = history_->recordCameBack(update, files);
            report_.error("Note: " + entry.modelName + " on USB port " + entry.port +
                          " came back by itself before its interrupted update was finished: update it again to be "
                          "sure it has the new firmware.");
            if (const auto told = history_->problemToTell(problem))
                report_.error("Warning: the update history could not be written: " + *told);
            continue;
        }
        const DiskChoice choice = chooseUpdateDisk(drives, strandedDiskExpectation(entry, named));
        if (choice.verdict == DiskVerdict::NotIt) continue;  // its disk is not there (yet)
        if (parkedDisks_.contains(choice.disk.drive)) continue;
        if (choice.verdict == DiskVerdict::Ask) {
            strandedTold_.insert(update.id);
            report_.error("Warning: the update of " + entry.modelName + " begun " + entry.started +
                          " was left in the controller's bootloader. Drive " + survey->describe(choice.disk.drive) +
                          " may be its update disk, but lumaro-update cannot tell it from another device's drive and "
                          "does not guess: if it is, run lumaro-update --finish-on " + choice.disk.drive +
                          ", or finish it in LumaroCtrlUpdate, which asks.");
            continue;
        }
        const std::string& drive = choice.disk.drive;
        JobRecordFiles files = history_->takeStranded(update);
        if (!files.held()) continue;  // another instance is on it
        // The record may be anyone's doing: its files go to the controller only as a fresh update's would.
        if (const auto problem = strandedFilesProblem(appFolder_, entry)) {
            strandedTold_.insert(update.id);
            report_.error("Error: the interrupted update of " + entry.modelName + " is not finished: " + *problem +
                          ": re-plug the controller and update it again.");
            continue;
        }
        if (othersUnits_.contains(entry.port)) continue;  // told already
        if (!claimUnit(entry.modelName, entry.port, platform::controllerClaimKey(entry.port, drive))) {
            if (!options_.repeat) return true;  // the run has ended
            continue;
        }
        UnitFacts facts{entry.modelName, entry.vidPid, entry.firmwarePath, entry.firmwareSha256, entry.imagePath,
                        entry.imageSha256, static_cast<std::uintmax_t>(entry.imageRecords.value_or(0)), entry.port, true, {}};
        UpdateJobInput input{entry.chipType, entry.firmwarePath, entry.imagePath, is64BitWindows_, entry.port,
                             entry.modelName, entry.vidPid, entry.diskIdentity, named, {}, {}};
        runUnit(std::move(facts), std::move(input), finishingEntry(entry), JobStep::FinishedAfterInterruption,
                std::move(files), false, drive);
        return true;
    }
    return false;
}

bool UpdateLine::startUpdate(const PortFilter& ports)
{
    const ControllerLink& link = controllerLink();
    std::optional<std::size_t> found;
    for (;;) {
        found = presentModel(withOthersUnitsLeftOut(ports));
        if (!found) return false;
        if (claimUnit(setup_.models[*found].modelName, link.devicePort,
                      platform::controllerClaimKey(link.devicePort, link.devicePath)))
            break;
        if (!options_.repeat) return true;  // the run has ended
    }
    const DeviceModel& model = setup_.models[*found];
    Open_HidDevice();
    if (link.writeOpenError == platform::kErrorReportLength || link.readOpenError == platform::kErrorReportLength)
        report_.step("Open USB device fail: " + platform::describe(platform::kErrorReportLength));

    UnitFacts facts{model.modelName, model.vidPid, setup_.firmwarePath, fileSha256(setup_.firmwarePath).value_or(""),
                    setup_.imagePath, fileSha256(setup_.imagePath).value_or(""), recordsOf(setup_.imagePath),
                    link.devicePort, false,
                    checkUpdateSignatures(setup_.firmwarePath, setup_.imagePath, keysFolderOf(appFolder_))};
    UpdateJobInput input{model.chipType, setup_.firmwarePath, setup_.imagePath, is64BitWindows_, link.devicePort,
                         model.modelName, model.vidPid, {}, {}, options_.finishOn, keysFolderOf(appFolder_)};
    HistoryEntry known;
    known.job = "update";
    known.modelName = model.modelName;
    known.vidPid = model.vidPid;
    known.chipType = model.chipType;
    known.firmwarePath = setup_.firmwarePath;
    known.imagePath = setup_.imagePath;
    known.programVersion = LUMARO_PROGRAM_VERSION;
    known.computerName = QSysInfo::machineHostName().toStdString();
    known.port = link.devicePort;
    runUnit(std::move(facts), std::move(input), std::move(known), JobStep::None, {}, model.chipType == "47J53", {});
    return true;
}

// finishDrive: the update disk of a stranded update, which the job finishes; empty for a whole update.
void UpdateLine::runUnit(UnitFacts facts, UpdateJobInput input, HistoryEntry known, JobStep doneStep, JobRecordFiles files,
                         bool bootBoard, const std::string& finishDrive)
{
    waitLimit_.stop();
    if (parkedDisks_.empty()) strandedLook_.stop();  // else it watches them leave meanwhile
    unit_ = std::move(facts);
    lastError_.clear();
    interruptAsked_ = false;
    stopAsked_ = false;
    stopWaitTold_ = false;
    unitStep_ = JobStep::None;
    ++units_;
    state_ = State::Updating;
    report_.unitStarted(unit_);
    unitClock_.start();
    awake_ = std::make_unique<platform::KeepAwake>(QStringLiteral("Updating the controller"), 0,
                                                   [this] { syncRecordsNow(); });
    if (const QString problem = awake_->problem(); !problem.isEmpty())
        report_.error("Warning: the computer may go to sleep during the update: " + problem.toStdString());

    jobBusy = false;  // the job claims it as it starts
    ScreenEvents events{
        [this](int width) {
            if (state_ == State::Updating) report_.progress(width);
        },
        [this](const std::string& line) {
            if (state_ != State::Updating) return;
            if (line.starts_with("Error -> ")) lastError_ = line.substr(9);
            report_.step(line);
        },
        [this, bootBoard](bool done) {
            if (state_ != State::Updating) return;
            if (done) return unitEnded({UnitResult::Done, unitSeconds(), {}});
            if (stopAsked_) return;  // a job told to stop fails at the step it was in: its thread's end tells it
            const std::string error = !lastError_.empty() ? lastError_
                                      : bootBoard ? std::string("a 47J53 board is not updated by lumaro-update")
                                                  : std::string("the update failed");
            unitEnded({UnitResult::Failed, unitSeconds(), error});
        },
        [this](JobStep step) { unitStep_ = step; }};
    std::unique_ptr<UpdateScreen> screen = std::make_unique<ConsoleScreen>(*this, std::move(events));
    if (history_) {
        auto recording = std::make_unique<RecordingUpdateScreen>(std::move(screen), history_.get(), std::move(known),
                                                                 doneStep, std::move(files));
        const std::lock_guard lock(recordingMutex_);
        recording_ = recording.get();
        screen = std::move(recording);
    }
    thread_ = std::make_unique<UpdateThread>(std::move(input), controllerLink(), std::move(screen));
    if (!finishDrive.empty()) thread_->finishOn(finishDrive);
    connect(thread_.get(), &QThread::finished, this, &UpdateLine::jobThreadEnded);
    thread_->start(QThread::NormalPriority);
}

void UpdateLine::syncRecordsNow()
{
    const std::lock_guard lock(recordingMutex_);
    if (recording_ != nullptr) recording_->syncMarkerNow();
}

// The unit's job is over: its record and its hold on the computer go with it.
void UpdateLine::endUnitJob()
{
    {
        const std::lock_guard lock(recordingMutex_);
        recording_ = nullptr;
    }
    thread_.reset();
    claim_ = {};
    Close_HidDevice();
    awake_.reset();
}

void UpdateLine::waitForUnit()
{
    state_ = State::WaitingForUnit;
    report_.waiting(options_.waitSeconds);
    if (options_.waitSeconds) waitLimit_.start(*options_.waitSeconds * 1000);
    if (history_) strandedLook_.start();
    startUnit();  // one plugged in between the last look and the watcher's start
}

void UpdateLine::unitEnded(UnitEnd end)
{
    // The job has nothing left to do on the controller: its closing wait is cut short.
    endUnitJob();
    report_.unitEnded(unit_, end);
    if (end.result != UnitResult::Done) {
        ++failedUnits_;
        report_.error("Error: " + unit_.model + " was not updated (" + end.error +
                      "): check its USB cable and power, then update it again.");
    }
    // Ctrl+C during the unit: the run ends with it, told by what became of the controller.
    if (!options_.repeat || interruptAsked_) return finish(codeForUnits());
    if (end.result != UnitResult::Done) parkDisksOnPort(unit_.port);
    state_ = State::WaitingForUnplug;
    // Only a unit that is done restarts; one that failed is there or gone for good.
    heldPorts_[unit_.port] = end.result != UnitResult::Done;
    if (end.result == UnitResult::Done) comeBackLimit_.start();
    report_.unplugPrompt();
    if (history_) strandedLook_.start();
    checkUnplugged();
}

// Where ports are known, a unit just done comes back only on its own port, and a controller on any
// other port is the next unit, taken at once; where they are not, any known controller present is
// taken to be the unit on its way back until it has gone.
void UpdateLine::checkUnplugged()
{
    if (state_ != State::WaitingForUnplug) return;
    std::vector<std::string> held;
    for (auto port = heldPorts_.begin(); port != heldPorts_.end();) {
        if (presentModel({PortFilter::Kind::Only, {port->first}})) {
            port->second = true;
        } else if (port->second || !comeBackLimit_.isActive()) {
            port = heldPorts_.erase(port);  // unplugged, or not back in time
            continue;
        }
        held.push_back(port->first);
        ++port;
    }
    if (heldPorts_.empty()) {
        comeBackLimit_.stop();
        return waitForUnit();
    }
    startFinish() || startUpdate({PortFilter::Kind::AllBut, held});
}

// Once the firmware is being copied the job goes on to its end whatever it is told (UpdateJob): a
// Ctrl+C then waits for the stop, and the end says whether the controller took the firmware.
void UpdateLine::interrupt()
{
    if (state_ == State::Finished) return;
    if (state_ != State::Updating) {
        // Nothing is being written: the run ends at once, judged by the units it did.
        if (units_ == 0) report_.error("Stopped by Ctrl+C before any controller was updated.");
        return finish(units_ == 0 ? kExitInterrupted : codeForUnits());
    }
    if (stopAsked_) return;
    if (unitStep_ == JobStep::Copy || unitStep_ == JobStep::StopDisk) {
        if (!stopWaitTold_)
            report_.error("The firmware is on its way into the controller: lumaro-update waits for its update disk to "
                          "be stopped, then tells whether the controller took it, and ends.");
        stopWaitTold_ = interruptAsked_ = true;
        return;
    }
    if (!interruptAsked_) {
        interruptAsked_ = true;
        report_.error("The update is running: stopping it now may leave the controller unusable until it is "
                      "updated again. Press Ctrl+C again to stop it anyway.");
        return;
    }
    // Not waited for here: a job past its copy goes on to its end, and the line stays free meanwhile.
    stopAsked_ = true;
    thread_->askToStop();
}

// The job's thread has ended. One that was asked to stop and showed neither end stopped short.
void UpdateLine::jobThreadEnded()
{
    if (state_ != State::Updating || !stopAsked_ || !thread_ || !thread_->isFinished()) return;
    endUnitJob();
    ++failedUnits_;
    report_.unitEnded(unit_, {UnitResult::Interrupted, unitSeconds(), "stopped by Ctrl+C"});
    report_.error("Error: the update of " + unit_.model + " was stopped: the controller may not work until it is "
                  "updated again: run lumaro-update on it again.");
    finish(kExitInterrupted);
}

// After a unit on port failed, the disks its stranded updates there have now (a refused stop leaves
// the disk showing) wait until they have been unplugged and plugged in again: finishing them at once
// would rewrite each, fail as the unit did, and hold up the line.
void UpdateLine::parkDisksOnPort(const std::string& port)
{
    if (!history_) return;
    const std::vector<DriveFacts> drives = GetDriveFacts();
    for (const UpdateHistory::Stranded& update : history_->strandedUpdates()) {
        const HistoryEntry& entry = update.entry;
        if (entry.port != port) continue;
        const DiskChoice choice = chooseUpdateDisk(drives, strandedDiskExpectation(entry));
        if (choice.verdict == DiskVerdict::NotIt || !parkedDisks_.insert(choice.disk.drive).second) continue;
        report_.error("Note: the update disk " + choice.disk.drive + " of " + entry.modelName +
                      " is left alone until it has been unplugged and plugged in again (re-plug the controller).");
    }
}

void UpdateLine::unparkDisksThatLeft()
{
    if (parkedDisks_.empty()) return;
    const DriveList present = GetDriveList();
    std::erase_if(parkedDisks_, [&](const std::string& drive) {
        return std::find(present.begin(), present.end(), drive) == present.end();
    });
}

void UpdateLine::finish(int exitCode)
{
    state_ = State::Finished;
    waitLimit_.stop();
    comeBackLimit_.stop();
    strandedLook_.stop();
    othersLook_.stop();
    emit finished(exitCode);
}
