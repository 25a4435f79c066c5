// The window's side of the update history: the screens that record each job, the rows of jobs
// whose program died (this one's last run, or another instance's), and finishing an update left in
// a controller's bootloader. The platform tells the window of HID interfaces coming and going, not
// of drives: a stranded update's disk, and jobs that died meanwhile, are looked for at start-up, at
// each of those events and once a second. The drives are surveyed off the window's thread, which
// waits for a survey only briefly: a drive that does not answer must not freeze the window. A
// stranded update's disk is known by the USB port its controller was on; where the system cannot
// tell ports, the user is asked with the drive named.
#include "app/window/form_engineering_page.h"
#include "app/window/form_update_screen.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "program_version.h"

#include "jobs/history_folder.h"
#include "jobs/job_record.h"
#include "jobs/learned_disks.h"
#include "jobs/drive_survey.h"
#include "jobs/stranded_files.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "link/usb.h"
#include "platform/hid/hid_watch.h"

#include <QSysInfo>

#include <chrono>
#include <optional>
#include <QTimer>

namespace {

constexpr int kStrandedCheckMs = 1000;
// Long enough for a survey of answering drives, short enough to go unnoticed when one hangs; a survey
// that ends later is taken at a later look.
constexpr std::chrono::milliseconds kDriveSurveyWait{250};

QString utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

HistoryEntry TMainForm::historyEntryFor(const std::string& job) const
{
    HistoryEntry entry;
    entry.job = job;
    if (currentModel >= 0 && static_cast<std::size_t>(currentModel) < DeviceModelTable.size()) {
        const DeviceModel& model = DeviceModelTable[static_cast<std::size_t>(currentModel)];
        entry.modelName = QString::fromLatin1(model.modelName).toStdString();  // the data file's texts are 8-bit
        entry.chipType = model.chipType;
    }
    entry.vidPid = currentVidPid;
    if (job == "update") {
        entry.firmwarePath = firmwarePath.toStdString();
        entry.imagePath = imagePath.toStdString();
    }
    entry.programVersion = kProgramVersion;
    entry.computerName = QSysInfo::machineHostName().toStdString();
    entry.port = controllerLink().devicePort;
    return entry;
}

std::unique_ptr<UpdateScreen> TMainForm::recordingUpdateScreen()
{
    return std::make_unique<RecordingUpdateScreen>(std::make_unique<FormUpdateScreen>(*this), history_.get(),
                                                   historyEntryFor("update"));
}

std::unique_ptr<EngineeringPage> TMainForm::recordingPage(const std::string& job)
{
    return std::make_unique<RecordingEngineeringPage>(std::make_unique<FormEngineeringPage>(*this), history_.get(),
                                                      historyEntryFor(job));
}

void TMainForm::recoverUpdateHistory()
{
    history_ = std::make_unique<UpdateHistory>(historyFolderOf(appFolder.toStdString()));

    strandedCheck_ = new QTimer(this);
    strandedCheck_->setInterval(kStrandedCheckMs);
    connect(strandedCheck_, &QTimer::timeout, this, &TMainForm::offerToFinishStrandedUpdate);
    // Queued: a plug reaches its screen first.
    connect(deviceWatcher_, &platform::HidWatcher::interfaceArrived, this, &TMainForm::offerToFinishStrandedUpdate,
            Qt::QueuedConnection);
    connect(deviceWatcher_, &platform::HidWatcher::interfaceRemoved, this, &TMainForm::offerToFinishStrandedUpdate,
            Qt::QueuedConnection);
    strandedCheck_->start();
    // The rows kept from the last run are written, jobs that died before this start recorded and a
    // stranded update offered once start-up has finished after the first paint (finishStartup).
}

void TMainForm::appendKeptHistoryRows()
{
    // Rows kept from the last run go first, so that the rows stay in the order of their jobs.
    if (const auto told = history_->problemToTell(history_->appendPending()))
        AddMessage(QStringLiteral("The update history could not be written: ") + utf8(*told), 1);
}

// Jobs whose program died (this program's last run, or another instance now) get their
// "interrupted" rows, and the message log says which device was left how. Returns the stranded
// updates there are now.
std::vector<UpdateHistory::Stranded> TMainForm::recordDeadJobs()
{
    const UpdateHistory::Recovery recovery = history_->recoverInterruptedJobs();
    for (const HistoryEntry& interrupted : recovery.interrupted) {
        const QString device = utf8(interrupted.modelName) + " (" + utf8(interrupted.vidPid) + ")";
        const QString step = utf8(std::string(jobStepName(interrupted.step)));
        QString line = QStringLiteral("Interrupted -> The program ended during the %1 of %2%3. ")
                           .arg(utf8(interrupted.job), device,
                                step.isEmpty() ? QString() : QStringLiteral(", at the step \"%1\"").arg(step));
        if (leftStrandedUpdate(interrupted))
            line += QStringLiteral("The controller waits in its bootloader with its update disk: the program offers to "
                                   "finish the update when the disk is there. Otherwise re-plug the controller and update again.");
        else if (interrupted.job == "update")
            line += QStringLiteral("Its image data may be incomplete. Re-plug the controller and update again.");
        else
            line += QStringLiteral("Re-plug the controller and run the job again.");
        AddMessage(line, 0);
    }
    for (const std::string& name : recovery.setAside)
        AddMessage(QStringLiteral("The job record %1 could not be read: it is kept aside as %1%2.")
                       .arg(utf8(name), utf8(std::string(kUnreadableSuffix))), 0);
    for (const std::string& refused : recovery.refused)
        AddMessage(QStringLiteral("Warning -> ") + utf8(refused) + '.', 0);
    if (const auto told = history_->problemToTell(recovery.problem))
        AddMessage(QStringLiteral("The update history could not be written: ") + utf8(*told), 1);
    return recovery.stranded;
}

void TMainForm::offerToFinishStrandedUpdate()
{
    // Not before start-up has written the rows kept from the last run: rows stay in the order of their jobs.
    if (!history_ || !startupFinished_ || askingToFinish_ || jobBusy) return;
    const std::vector<UpdateHistory::Stranded> stranded = recordDeadJobs();
    if (stranded.empty()) return;
    const std::optional<DriveSurvey> drives = driveSurvey_.latest(kDriveSurveyWait, stranded);
    if (!drives) return;
    for (const UpdateHistory::Stranded& update : stranded)
        if (offerToFinish(update, *drives)) return;
}

// True when a finish was started (one at a time). The record is taken (locked) first: another
// instance finishing the same update, or its job still running, leaves it alone.
bool TMainForm::offerToFinish(const UpdateHistory::Stranded& stranded, const DriveSurvey& survey)
{
    const QString id = utf8(stranded.id);
    const HistoryEntry& entry = stranded.entry;
    if (strandedDeclined_.contains(id)) return false;
    if (isControllerOnPort(entry.vidPid, entry.port)) {
        JobRecordFiles files = history_->takeStranded(stranded);
        if (!files.held()) return false;
        const auto problem = history_->recordCameBack(stranded, files);
        AddMessage(QStringLiteral("The controller %1 came back by itself before its interrupted update was finished: "
                                  "update it again to be sure it has the new firmware.").arg(utf8(entry.modelName)), 0);
        if (const auto told = history_->problemToTell(problem))
            AddMessage(QStringLiteral("The update history could not be written: ") + utf8(*told), 1);
        return false;
    }
    const DiskChoice choice = chooseUpdateDisk(survey.drives, strandedDiskExpectation(entry));
    if (choice.verdict == DiskVerdict::NotIt) return false;
    const DriveFacts& shown = choice.disk;
    const std::string& drive = shown.drive;
    JobRecordFiles files = history_->takeStranded(stranded);
    if (!files.held()) return false;
    // The record may be anyone's doing: its files are checked before anything is asked, and again
    // after the answer, since they could have changed while the question waited.
    HistoryEntry checked = entry;
    const auto refusedFiles = [&] {
        const std::optional<std::string> problem = strandedFilesProblem(appFolder.toStdString(), checked);
        if (!problem) return false;
        strandedDeclined_.insert(id);
        AddMessage(QStringLiteral("Error -> The interrupted update of %1 is not finished here: %2: re-plug the "
                                  "controller and update it again.")
                       .arg(utf8(entry.modelName), utf8(*problem)),
                   0);
        return true;
    };
    if (refusedFiles()) return false;
    // Claimed before the question, so that no other program starts on the controller meanwhile; one
    // that already has is left to it, without a word.
    platform::ControllerClaim claim = claimController(entry.port, drive, false);
    if (!claim.held()) return false;

    const QString model = utf8(entry.modelName);
    const QString described = utf8(survey.describe(drive));
    const QString question =
        choice.verdict == DiskVerdict::Take
            ? QStringLiteral("The update of %1 was interrupted. Its update disk is drive %2. Finish it now?").arg(model, described)
            : QStringLiteral("The update of %1 was interrupted. This PC cannot tell whether drive %2 is its update disk: "
                             "answer Yes only if it is, and the firmware is written to it. Finish it now on %3?")
                  .arg(model, described, utf8(drive));
    askingToFinish_ = true;
    const bool finish = askYesNo(QStringLiteral("Update"), question, true);
    askingToFinish_ = false;
    if (jobBusy) return true;  // a job began while the question waited; its own end decides
    if (!finish) {
        strandedDeclined_.insert(id);
        AddMessage(QStringLiteral("The controller waits in its bootloader with its update disk %1. To finish the update, "
                                  "start the program again and answer Yes, or re-plug the controller and update again.")
                       .arg(utf8(drive)),
                   0);
        return false;
    }
    if (refusedFiles()) return false;
    // The drive as the person saw it: the job takes it only while it still is that drive.
    UpdateJobInput input{checked.chipType, checked.firmwarePath, checked.imagePath, is64BitWindows, checked.port,
                         checked.modelName, checked.vidPid, checked.diskIdentity, shown, {}, {}};
    updateThread.reset();
    measurementThread_.waitUntilIdle();
    updateThread = std::make_unique<UpdateThread>(
        std::move(input), controllerLink(),
        std::make_unique<RecordingUpdateScreen>(std::make_unique<FormUpdateScreen>(*this), history_.get(),
                                                finishingEntry(checked), JobStep::FinishedAfterInterruption,
                                                std::move(files)),
        jobWaitHook);
    updateThread->finishOn(drive);
    holdDuring(*updateThread, std::move(claim));
    updateThread->start(QThread::NormalPriority);
    return true;
}
