// What keeps a device job from being cut short by the computer, the user or another program: the
// controller claimed, the computer held awake (and its shutdown and session end held) for the job's
// length, and a question before a close that would leave the controller without its images or in
// its bootloader.
#include "app/window/imageex.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"

#include "jobs/job_record.h"
#include "jobs/sending_pass.h"
#include "jobs/updatethread.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QThread>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

namespace {

const QString kKeepAwakeReason = QStringLiteral("Updating the controller");
const QString kKeepLidOpen = QStringLiteral("Keep a laptop's lid open until the update has ended.");
const QString kCloseDuringUpdateQuestion = QStringLiteral(
    "An update is running. Closing now can leave the controller unusable until it is updated again. Close anyway?");

// The update's progress width as the firmware is copied onto the update disk: from here on the job
// goes on to its end (UpdateJob), and a close waits for it.
constexpr int kCopyWidth = 385;

// The update's progress width once the update disk has been stopped: from here on a close leaves
// a controller that restarts with its new firmware.
constexpr int kDiskStoppedWidth = 395;

// Runs before the recorder's own close handling (filters installed later run first): a close the
// user takes back must not have stopped a running log.
class AskBeforeStrandingClose final : public QObject {
public:
    explicit AskBeforeStrandingClose(TMainForm* form) : QObject(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Close || watched != parent()) return false;
        auto* form = static_cast<TMainForm*>(parent());
        if (!form->closeWaitsForJobEnd() && form->confirmCloseDuringUpdate()) return false;
        event->ignore();
        return true;
    }
};

}  // namespace

void TMainForm::guardJobs()
{
    installEventFilter(new AskBeforeStrandingClose(this));
#if QT_CONFIG(sessionmanager)
    // The session manager's request to save before the session ends: while a job runs, it may not end.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& manager) {
                if (keepAwake_) manager.cancel();
            },
            Qt::DirectConnection);
#endif
}

// A controller that another program is updating (the other front end, another window, another
// user's) is not touched: the user is told which program has it, unless the caller says nothing.
platform::ControllerClaim TMainForm::claimController(const std::string& port, const std::string& path, bool tellRefusal)
{
    jobClaim_ = {};  // the last job has ended (jobBusy is clear); its release may still be on its way
    platform::ClaimAttempt attempt =
        platform::takeControllerClaim(platform::controllerClaimKey(port, path), QCoreApplication::applicationName().toStdString());
    if (attempt.claim.held() || !tellRefusal) return std::move(attempt.claim);
    const QString why =
        attempt.error != platform::kOk
            ? QStringLiteral("Whether another program is updating this controller cannot be told (%1).")
                  .arg(QString::fromStdString(platform::describe(attempt.error)))
            : QStringLiteral("Another program is updating this controller: %1.")
                  .arg(QString::fromStdString(platform::describe(attempt.holder)));
    showInformation(QCoreApplication::applicationName(),
                    why + QStringLiteral(" Nothing was written to it: try again once that program has finished."));
    return {};
}

void TMainForm::holdDuring(QThread& job, platform::ControllerClaim claim)
{
    jobClaim_ = std::move(claim);
    keepAwake_.reset();  // one hold at a time: the last job's release may still be on its way
    keepAwake_ = std::make_unique<platform::KeepAwake>(kKeepAwakeReason, winId(), syncRunningJobRecordsNow);
    if (const QString problem = keepAwake_->problem(); !problem.isEmpty() && !sleepNoticeShown_) {
        sleepNoticeShown_ = true;
        AddMessage(QStringLiteral("Warning -> The PC may sleep while the job runs: ") + problem, 1);
    }
    // Closing a laptop's lid can put it to sleep whatever the program holds (on Windows); an update
    // runs for minutes, an erase or a reset for seconds.
    if (&job == updateThread.get()) AddMessage(kKeepLidOpen, 1);
    // Released when the thread has ended, however the job ended; a late release of an earlier job
    // leaves a later job's hold alone.
    const int hold = ++awakeHolds_;
    connect(&job, &QThread::finished, this, [this, hold] {
        if (hold != awakeHolds_) return;
        keepAwake_.reset();
        jobClaim_ = {};
    });
}

bool TMainForm::closeWouldStrandController() const
{
    if (!updateThread || !updateThread->isRunning() || !ErrorImg->isHidden()) return false;
    const int width = ProgressBarValue->width();
    return width >= kSendingStartWidth && width < kDiskStoppedWidth;
}

bool TMainForm::closeWaitsForJobEnd()
{
    if (!closeWouldStrandController() || ProgressBarValue->width() < kCopyWidth) return false;
    if (!closeAfterJob_)
        AddMessage(QStringLiteral("The firmware is on its way into the controller: the program closes once its update "
                                  "disk has been stopped."),
                   1);
    closeAfterJob_ = true;
    return true;
}

void TMainForm::jobEndShown()
{
    if (closeAfterJob_) close();
}

bool TMainForm::confirmCloseDuringUpdate()
{
    if (closeConfirmed_ || !closeWouldStrandController()) return true;
    closeConfirmed_ = askYesNo(QCoreApplication::applicationName(), kCloseDuringUpdateQuestion, false);
    return closeConfirmed_;
}
