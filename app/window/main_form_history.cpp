// The window's side of the update history: the screens that record each job, the row of a job a
// dead program left at start-up, and finishing an update that it left in the controller's
// bootloader. The platform tells the window of HID interfaces coming and going, not of drives:
// the stranded update's disk is looked for at start-up, at each of those events and on a timer
// while such an update is known.
#include "app/window/form_engineering_page.h"
#include "app/window/form_update_screen.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "program_version.h"

#include "jobs/file_sha256.h"
#include "jobs/job_record.h"
#include "jobs/removedisk.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "platform/drives/drives.h"
#include "platform/hid/hid_watch.h"
#include "platform/core/utf8_path.h"

#include <QSysInfo>
#include <QTimer>

#include <filesystem>

namespace {

constexpr int kStrandedCheckMs = 1000;

QString utf8(const std::string& text) { return QString::fromStdString(text); }

// The first drive that holds the controller's old firmware file at its root.
std::string driveWithOldFirmware()
{
    for (const std::string& drive : GetDriveList()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(platform::utf8Path(platform::pathOnDrive(drive, "firmware.bin")), error))
            return drive;
    }
    return {};
}

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
    history_ = std::make_unique<UpdateHistory>(RecordFolder.toStdString());
    // Rows kept from the last run go first, so that the rows stay in the order of their jobs.
    const std::optional<std::string> pendingProblem = history_->appendPending();
    std::optional<std::string> problem;
    if (const std::optional<HistoryEntry> interrupted = history_->recoverInterruptedJob(problem)) {
        const QString device = utf8(interrupted->modelName) + " (" + utf8(interrupted->vidPid) + ")";
        const QString step = utf8(std::string(jobStepName(interrupted->step)));
        QString line = QStringLiteral("Interrupted -> The program ended during the %1 of %2%3. ")
                           .arg(utf8(interrupted->job), device,
                                step.isEmpty() ? QString() : QStringLiteral(", at the step \"%1\"").arg(step));
        if (interrupted->job == "update" && leavesControllerInBootloader(interrupted->step))
            line += QStringLiteral("The controller waits in its bootloader with its update disk: the program offers to "
                                   "finish the update when the disk is there. Otherwise re-plug the controller and update again.");
        else if (interrupted->job == "update")
            line += QStringLiteral("Its image data may be incomplete. Re-plug the controller and update again.");
        else
            line += QStringLiteral("Re-plug the controller and run the job again.");
        AddMessage(line, 0);
    }
    if (const auto told = history_->problemToTell(problem ? problem : pendingProblem))
        AddMessage(QStringLiteral("The update history could not be written: ") + utf8(*told), 1);

    strandedCheck_ = new QTimer(this);
    strandedCheck_->setInterval(kStrandedCheckMs);
    connect(strandedCheck_, &QTimer::timeout, this, &TMainForm::offerToFinishStrandedUpdate);
    connect(deviceWatcher_, &platform::HidWatcher::interfaceArrived, this, &TMainForm::offerToFinishStrandedUpdate);
    connect(deviceWatcher_, &platform::HidWatcher::interfaceRemoved, this, &TMainForm::offerToFinishStrandedUpdate);
    if (history_->strandedUpdate()) {
        strandedCheck_->start();
        // After the rest of start-up, so that the window is there behind the question.
        QTimer::singleShot(0, this, &TMainForm::offerToFinishStrandedUpdate);
    }
}

void TMainForm::offerToFinishStrandedUpdate()
{
    if (!history_ || strandedDeclined_ || jobBusy) return;
    const std::optional<HistoryEntry> stranded = history_->strandedUpdate();
    if (!stranded) {
        strandedCheck_->stop();
        return;
    }
    const std::string drive = driveWithOldFirmware();
    if (drive.empty()) return;
    strandedCheck_->stop();  // no second question while this one waits for its answer
    const bool finish = askYesNo(QStringLiteral("Update"),
                                 QStringLiteral("The update of %1 was interrupted. Finish it now?").arg(utf8(stranded->modelName)),
                                 true);
    if (jobBusy) return;  // a job began while the question waited; its own end decides
    if (!finish) {
        strandedDeclined_ = true;
        AddMessage(QStringLiteral("The controller waits in its bootloader with its update disk %1. To finish the update, "
                                  "start the program again and answer Yes, or re-plug the controller and update again.")
                       .arg(utf8(drive)),
                   0);
        return;
    }
    if (fileSha256(stranded->firmwarePath) != stranded->firmwareSha256) {
        strandedDeclined_ = true;
        AddMessage(QStringLiteral("Error -> The firmware file %1 is gone or has changed since the update began: "
                                  "re-plug the controller and update again.")
                       .arg(utf8(stranded->firmwarePath)),
                   0);
        return;
    }
    UpdateJobInput input{stranded->chipType, stranded->firmwarePath, stranded->imagePath, is64BitWindows};
    updateThread.reset();
    measurementThread_.waitUntilIdle();
    HistoryEntry known = *stranded;
    known.error.clear();
    known.step = JobStep::None;
    updateThread = std::make_unique<UpdateThread>(
        std::move(input), controllerLink(),
        std::make_unique<RecordingUpdateScreen>(std::make_unique<FormUpdateScreen>(*this), history_.get(), known,
                                                JobStep::FinishedAfterInterruption),
        jobWaitHook);
    updateThread->finishOn(drive);
    holdAwakeDuring(*updateThread);
    updateThread->start(QThread::NormalPriority);
}
