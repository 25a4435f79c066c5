// The window's side of the device jobs and of the engineering page: starting the jobs on their own
// threads, stopping them when the window goes, the page's file choice and log buttons, and the
// service view that brings the page into sight.
#include "app/window/main_form.h"
#include "app/window/imageex.h"
#include "app/window/service_view.h"

#include "jobs/erasethread.h"
#include "jobs/resetthread.h"
#include "jobs/update_signatures.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "link/usb.h"

#include <QAccessible>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabWidget>

namespace {

QString trimmedRight(QString text)
{
    while (!text.isEmpty() && text.back().unicode() <= ' ') text.chop(1);
    return text;
}

std::string currentChipType(const TMainForm& form)
{
    const bool known = form.currentModel >= 0 && static_cast<std::size_t>(form.currentModel) < form.DeviceModelTable.size();
    return known ? form.DeviceModelTable[static_cast<std::size_t>(form.currentModel)].chipType : std::string();
}

// Two jobs at once would share the link's one packet buffer, or call the library from two
// threads: a click while another job runs starts nothing.
bool anotherJobRuns(TMainForm& form)
{
    if (!jobBusy) return false;
    form.AddMessage(QStringLiteral("Error -> Another device job is running !!"), 1);
    return true;
}

}  // namespace

TMainForm::~TMainForm()
{
    // A running job is stopped and waited for before the controls it posts to go.
    measurementThread_.waitUntilIdle();
    if (reportThread_ != nullptr) {
        reportStop_ = true;
        reportThread_->wait();
    }
    updateThread.reset();
    eraseThread.reset();
    resetThread.reset();
    keepAwake_.reset();
}

void TMainForm::connectJobButtons()
{
    connect(Select_FW_Btn, &QPushButton::clicked, this, &TMainForm::Select_FW_BtnClick);
    connect(Sel_ImageBin_Btn, &QPushButton::clicked, this, &TMainForm::Sel_ImageBin_BtnClick);
    connect(ClearMsgBtn, &QPushButton::clicked, this, &TMainForm::ClearMsgBtnClick);
    connect(EraseBtn, &QPushButton::clicked, this, &TMainForm::EraseBtnClick);
    connect(Reset_DevBtn, &QPushButton::clicked, this, &TMainForm::Reset_DevBtnClick);
    auto* service = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this);
    service->setObjectName("ServiceViewShortcut");
    connect(service, &QShortcut::activated, this, &TMainForm::toggleServiceView);
    guardJobs();
}

void TMainForm::launchUpdateThread(platform::ControllerClaim claim)
{
    const HistoryEntry known = historyEntryFor("update");
    UpdateJobInput input{currentChipType(*this), firmwarePath.toStdString(), imagePath.toStdString(), is64BitWindows,
                         controllerLink().devicePort, known.modelName, known.vidPid, {}, {}, {},
                         keysFolderOf(appFolder.toStdString())};
    updateThread.reset();  // the last job has ended: jobBusy was clear
    measurementThread_.waitUntilIdle();  // the job's exchanges must not overlap the recorder's
    updateThread = std::make_unique<UpdateThread>(std::move(input), controllerLink(),
                                                  recordingUpdateScreen(), jobWaitHook);
    holdDuring(*updateThread, std::move(claim));
    updateThread->start(QThread::NormalPriority);
}

QString TMainForm::chooseFile(const QStringList& filters)
{
    QFileDialog dialog(this);
    dialog.setObjectName("OpenDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

void TMainForm::Select_FW_BtnClick()
{
    const bool bootBoard = currentChipType(*this) == "47J53";
    const QString path = chooseFile(bootBoard ? QStringList{"HEX (*.hex)"} : QStringList{"HEX (*.hex)", "BIN (*.bin)"});
    if (path.isEmpty()) return;
    HexPathShow->setText(path);
    firmwarePath = trimmedRight(HexPathShow->text());
}

void TMainForm::Sel_ImageBin_BtnClick()
{
    const QString path = chooseFile({"*.bin"});
    if (!path.isEmpty()) BinPathShow->setText(path);
}

void TMainForm::ClearMsgBtnClick() { FWUpdate_Memo->clear(); }

void TMainForm::EraseBtnClick()
{
    if (anotherJobRuns(*this)) return;
    platform::ControllerClaim claim = claimController(controllerLink().devicePort, controllerLink().devicePath);
    if (!claim.held()) return;
    eraseThread.reset();
    measurementThread_.waitUntilIdle();
    jobBusy = true;
    EraseBtn->setEnabled(false);
    eraseThread = std::make_unique<EraseThread>(DeviceJobInput{currentChipType(*this), currentVidPid},
                                                controllerLink(), recordingPage("erase"));
    holdDuring(*eraseThread, std::move(claim));
    eraseThread->start(QThread::NormalPriority);
}

void TMainForm::Reset_DevBtnClick()
{
    if (anotherJobRuns(*this)) return;
    platform::ControllerClaim claim = claimController(controllerLink().devicePort, controllerLink().devicePath);
    if (!claim.held()) return;
    resetThread.reset();
    measurementThread_.waitUntilIdle();
    jobBusy = true;
    Reset_DevBtn->setEnabled(false);
    resetThread = std::make_unique<ResetThread>(DeviceJobInput{currentChipType(*this), currentVidPid},
                                                recordingPage("reset"));
    holdDuring(*resetThread, std::move(claim));
    resetThread->start(QThread::NormalPriority);
}

// The delivered layout keeps the engineering panel outside the window; for service the window
// grows to show all of it, with the page's hidden buttons, staying on its screen, and goes back as
// it was.
void TMainForm::toggleServiceView()
{
    serviceView_ = !serviceView_;
    if (serviceView_) {
        for (QWidget* control : std::initializer_list<QWidget*>{Select_FW_Btn, HexPathShow, Sel_ImageBin_Btn, BinPathShow,
                                                                 EraseBtn, ClearMsgBtn, CopyReportBtn}) {
            if (!control->isHidden()) continue;
            control->show();
            serviceHidden_.push_back(control);
        }
        deliveredPos_ = pos();
        const QRect available = screen()->availableGeometry();
        const HorizontalPlacement placed = placeGrownWindow(available.left(), available.width(), pos().x(),
                                                            frameGeometry().width() - width(), kServiceViewWidth);
        setFixedSize(placed.width, kDeliveredSize.height());
        move(placed.left, pos().y());
        ServiceStrip->resize(placed.width - kDeliveredSize.width(), kDeliveredSize.height());
        ServiceStrip->show();
        OpDevName->show();
    } else {
        // Out of sight again, the panel leaves the Tab order and assistive technology's view, and
        // the keyboard goes back to the big button.
        StartBtnImg->setFocus(Qt::ShortcutFocusReason);
        ServiceStrip->hide();
        OpDevName->hide();
        for (QWidget* control : serviceHidden_) control->hide();
        serviceHidden_.clear();
        setFixedSize(kDeliveredSize);
        move(deliveredPos_);
    }
    QAccessibleEvent panelComesOrGoes(this, QAccessible::ObjectReorder);  // the window's children change
    QAccessible::updateAccessibility(&panelComesOrGoes);
}
