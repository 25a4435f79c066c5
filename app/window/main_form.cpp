#include "app/window/main_form.h"

#include "datafiles/file_names.h"
#include "app/window/imageex.h"
#include "app/window/message_boxes.h"
#include "app/window/message_routing.h"
#include "datafiles/page_settings.h"
#include "app/window/run_time.h"
#include "app/window/screen_texts.h"

#include "recorder/workbook/excelctrl.h"
#include "jobs/erasethread.h"
#include "jobs/resetthread.h"
#include "jobs/updatethread.h"
#include "link/job_busy.h"
#include "link/usb.h"
#include "platform/machine/arch.h"
#include "platform/hid/hid_watch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <stdexcept>

namespace {

// Trailing blanks and control characters removed, as the paths are handed to the job.
QString trimmedRight(QString text)
{
    while (!text.isEmpty() && text.back().unicode() <= ' ') text.chop(1);
    return text;
}

std::int64_t tickCountMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// Start-up's last steps wait for the first paint at most this long.
constexpr int kFinishStartupLatestMs = 500;

// A spreadsheet program still busy with the last calls when the program ends is given this long.
constexpr std::chrono::seconds kWorkbookExitWait(10);

TMainForm::TMainForm(const QString& folder, QWidget* parent)
    : QWidget(parent), workbookThread_(&ExcelRelease, kWorkbookExitWait), appFolder(folder)
{
    installWindowAccessibility();
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("Lumaro Tessaray Controller Firmware Update Utility"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kDeliveredSize);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildUpdateScreen();
    buildEngineeringPanel();
    connectJobButtons();
    connectSupportReport();

    // An exception that escapes start-up is shown like any other; the window opens as far as it got.
    try {
        FormCreate();
    } catch (const std::exception& error) {
        showException(QString::fromUtf8(error.what()));
    }
}

// The data files are read from the working directory; a program started from elsewhere (a console,
// a script, a launcher that sets no folder) finds them beside itself.
QString TMainForm::dataFilePath(const QString& name) const
{
    return QFileInfo::exists(name) ? name : appFolder + name;
}

QString TMainForm::imagePathOf(const char* relativeName) const
{
    return appFolder + QString::fromLatin1(relativeName);
}

void TMainForm::FormCreate()
{
    is64BitWindows = Detect_64BitWindows();
    if (!QFile(dataFilePath(QStringLiteral("DevInfo.DAT"))).open(QIODevice::ReadOnly)) {
        showInformation(QStringLiteral("Error"), QStringLiteral("Some important file lose ! - msg(01)"));
        startupAborted_ = true;
        return;
    }
    QFile pageFile(dataFilePath(QStringLiteral("Page.DAT")));
    if (!pageFile.open(QIODevice::ReadOnly)) {
        showInformation(QStringLiteral("Error"), QStringLiteral("Some important file lose ! - msg(02)"));
        startupAborted_ = true;
        return;
    }
    applyPageSettings(pageFile.readAll().toStdString());
    // Qt paints every widget double-buffered already.

    deviceWatcher_ = new platform::HidWatcher(this);
    connect(deviceWatcher_, &platform::HidWatcher::interfaceArrived, this, [this] { WMDeviceChange(kDeviceArrival); });
    connect(deviceWatcher_, &platform::HidWatcher::interfaceRemoved, this,
            [this] { WMDeviceChange(kDeviceRemoveComplete); });

    RecordFolder = appFolder + QStringLiteral("Record/");
    QDir().mkpath(RecordFolder);
    recordFolderUsable_ = openRecordFolder();
    recoverUpdateHistory();
    LoadDevInfo();
    if (detectWithoutOverlap()) {
        Sel_ImageBin_Btn->hide();
        BinPathShow->hide();
    }

    Temp_Timer->stop();
    Temp_ProgressBar->setValue(0);
    for (QLabel* show : CHShow) show->setText(QStringLiteral("0"));
    TimeIn->clear();
    for (int count = 1; count <= 30; ++count) TimeIn->addItem(QString::number(count));
    TimeIn->setCurrentIndex(0);

    ProgressBarImg->loadFromFile(imagePathOf("img/ZeroPert.bmp"));
    ProgressBarValue->setGeometry(ProgressBarValue->x(), ProgressBarValue->y(), 200, ProgressBarImg->height());
    QPalette fill = ProgressBarValue->palette();
    fill.setColor(QPalette::Window, QColor(159, 38, 229));
    ProgressBarValue->setPalette(fill);
    ProgressBarImg->hide();
    ProgressBarValue->hide();

    CompleteImg->loadFromFile(imagePathOf("img/com.bmp"));
    ErrorImg->loadFromFile(imagePathOf("img/error.bmp"));
    WarIcon->loadFromFile(imagePathOf("img/War_devNotFound.bmp"));

    CompleteLabel->hide();
    CompleteImg->hide();
    ErrorLabel->hide();
    ErrorImg->hide();
    UpBtnLabel->setText(QStringLiteral("Update"));

    startupToFinish_ = true;
    // A window that starts minimized is not painted until it is restored: start-up does not wait
    // for that.
    QTimer::singleShot(kFinishStartupLatestMs, this, &TMainForm::finishStartup);
}

// Runs once, after the first paint (or kFinishStartupLatestMs after the window was made without
// one). The steps reorder nothing that the user sees: the journals a crash left only add workbooks
// to the recorder's list, and the history's kept rows and dead jobs only write files and log
// lines. A stranded update is offered here, with the window there behind the question.
void TMainForm::finishStartup()
{
    if (startupFinished_ || !startupToFinish_) return;
    startupFinished_ = true;
    if (recordFolderUsable_) recoverJournals();
    appendKeptHistoryRows();
    offerToFinishStrandedUpdate();
}

bool TMainForm::event(QEvent* event)
{
    // Queued behind the paint under way: posted events run once the whole window has been painted.
    // A second paint before then queues a call that finds start-up finished.
    if (event->type() == QEvent::Paint && !startupFinished_)
        QMetaObject::invokeMethod(this, &TMainForm::finishStartup, Qt::QueuedConnection);
    return QWidget::event(event);
}

void TMainForm::applyPageSettings(const std::string& content)
{
    const EngineeringTabs tabs = parsePageDat(content);
    PageControl1->setTabVisible(kUpdatePage, tabs.updateTabVisible);
    PageControl1->setTabVisible(kRecorderPage, tabs.recorderTabVisible);
    if (tabs.activePage != kNoActivePage) PageControl1->setCurrentIndex(tabs.activePage);
}

bool TMainForm::Detect_64BitWindows() const
{
    return platform::processorArchitecture() != "x86";
}

void TMainForm::LoadDevInfo()
{
    QFile file(dataFilePath(QStringLiteral("DevInfo.DAT")));
    DeviceModelTable.clear();
    if (!file.open(QIODevice::ReadOnly)) return;
    DevInfoTable table = parseDevInfo(file.readAll().toStdString());
    DeviceModelTable = std::move(table.models);
    // The file's texts are 8-bit (Latin-1); what an exception carries is UTF-8, as everywhere in the window.
    if (!table.error.empty()) throw std::runtime_error(QString::fromLatin1(table.error).toStdString());
}

void TMainForm::ScanFirmwareFolder()
{
    const QString folder = appFolder + QStringLiteral("Firmware/");
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const FirmwareFileKind found = classifyFirmwareFile(entry.fileName().toStdString());
        if (found.kind == FirmwareFileKind::Other) continue;
        if (found.kind == FirmwareFileKind::ImageData) {
            BinPathShow->setText(folder + entry.fileName());
        } else {
            HexPathShow->setText(folder + entry.fileName());
            FWLABEL->setText(QString::fromStdString(found.version));
        }
        QCoreApplication::processEvents();
    }
}

void TMainForm::FillLogList(const QString& folder)
{
    LogList->clear();
    listLogFolder(folder.endsWith('/') ? folder : folder + '/', QString());
    if (LogList->count() > 0) LogList->scrollToItem(LogList->item(LogList->count() - 1), QAbstractItemView::PositionAtTop);
}

// Sub-folders are listed with their names relative to the top folder, so that an entry joined to
// that folder names the right file.
void TMainForm::listLogFolder(const QString& folder, const QString& prefix)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            // A linked folder could lead back to where the listing began.
            if (entry.isSymLink()) continue;
            QCoreApplication::processEvents();
            listLogFolder(entry.filePath() + '/', prefix + entry.fileName() + '/');
        } else if (isLogFileName(entry.fileName().toStdString())) {
            LogList->addItem(prefix + entry.fileName());
            QCoreApplication::processEvents();
        }
    }
}

void TMainForm::AddMessage(const QString& line, int target)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, line, target] { appendMessage(line, target); }, Qt::QueuedConnection);
        return;
    }
    appendMessage(line, target);
}

void TMainForm::appendMessage(const QString& line, int target)
{
    // The page active now: the engineer may have picked another since start-up.
    const int current = PageControl1->currentIndex();
    const int activePage = current >= 0 && PageControl1->isTabVisible(current) ? current : kNoActivePage;
    const MessageLog log = routeMessage(activePage, target);
    if (log == MessageLog::Dropped) return;
    QPlainTextEdit* memo = log == MessageLog::Update ? FWUpdate_Memo : System_Memo;
    QScrollBar* bar = memo->verticalScrollBar();
    const int before = bar->value();
    memo->appendPlainText(line);
    // One line down per line added, not a jump to the end.
    bar->setValue(before + 1);
    memo->repaint();
}

void TMainForm::SetRecorderControlsEnabled(bool enabled)
{
    Temp_Start_Btn->setEnabled(enabled);
    TimeIn->setEnabled(enabled);
    TimeAT->setEnabled(enabled);
}

bool TMainForm::DetectController()
{
    AddMessage(QStringLiteral("GetDevInfo ok !"), 0);
    for (std::size_t i = 0; i < DeviceModelTable.size(); ++i) {
        const DeviceModel& model = DeviceModelTable[i];
        if (!Find_HidDevice(model.vidPid)) continue;
        AddMessage(QStringLiteral("Found USB device"), 0);
        currentModel = static_cast<int>(i);
        Open_HidDevice();
        // A controller whose reports the link cannot carry is named once here: its requests would
        // all fail later without a word of why.
        const ControllerLink& link = controllerLink();
        if (link.writeOpenError == platform::kErrorReportLength || link.readOpenError == platform::kErrorReportLength)
            AddMessage(QStringLiteral("Open USB device fail: ") +
                           QString::fromStdString(platform::describe(platform::kErrorReportLength)),
                       0);
        SetRecorderControlsEnabled(true);
        Array2Temp_Label->setVisible(model.arrayCount != 1);
        Array2Temp_Show->setVisible(model.arrayCount != 1);
        OpDevName->setText(QString::fromLatin1(model.modelName));
        BKImg->loadFromFile(imagePathOf("img/devFound.bmp"));
        WarIcon->hide();
        jobBusy = false;
        StartBtnImg->loadFromFile(imagePathOf("img/CanPress.bmp"));
        UpdateHint->setText(kReadyHint);
        clearProgressAndResultLines();
        ScanFirmwareFolder();
        Start_Update_Btn->setEnabled(true);
        Dump_MemBtn->hide();
        Reset_DevBtn->setVisible(model.chipType == "47J53");
        currentVidPid = model.vidPid;
        tellScreen();
        if (!serviceView_) StartBtnImg->setFocus();  // the keyboard's place on the ready screen
        return true;
    }
    SetRecorderControlsEnabled(false);
    OpDevName->setText(QStringLiteral("No control device ."));
    BKImg->loadFromFile(imagePathOf("img/devNotFound.bmp"));
    StartBtnImg->loadFromFile(imagePathOf("img/NotPress.bmp"));
    UpdateHint->setText(QStringLiteral("Please plug Lumaro Controller to USB port of your PC"));
    FWLABEL->setText(kNoDevice);
    Start_Update_Btn->setEnabled(false);
    WarIcon->show();
    clearProgressAndResultLines();
    tellScreen();
    return false;
}

// Either detection outcome leaves the button at rest: no progress, no completion or error line.
void TMainForm::clearProgressAndResultLines()
{
    ProgressBarImg->hide();
    ProgressBarValue->hide();
    UpBtnLabel->setText(QStringLiteral("Update"));
    CompleteLabel->hide();
    CompleteImg->hide();
    ErrorLabel->hide();
    ErrorImg->hide();
}

void TMainForm::tellScreen()
{
    // Told only when changed: Qt tells every setting, and a screen reader would say it again.
    const QString name = UpBtnLabel->text();
    if (StartBtnImg->accessibleName() != name) StartBtnImg->setAccessibleName(name);
    const QString line = screenLine();
    if (StartBtnImg->accessibleDescription() != line) StartBtnImg->setAccessibleDescription(line);
}

// The line that says what the screen is about: the error, the completion, the missing controller
// or the hint.
QString TMainForm::screenLine() const
{
    if (!ErrorLabel->isHidden()) return ErrorLabel->text();
    if (!CompleteLabel->isHidden()) return CompleteLabel->text();
    if (FWLABEL->text() == kNoDevice) return FWLABEL->text();
    return UpdateHint->text();
}

void TMainForm::WMDeviceChange(unsigned eventCode)
{
    if ((eventCode == kDeviceArrival || eventCode == kDeviceRemoveComplete) && !jobBusy) detectWithoutOverlap();
}

// The firmware scan lets events run; an event met there must not start a second detection in the
// middle of the first, which would leave parts of both screens. It is detected after the first.
bool TMainForm::detectWithoutOverlap()
{
    if (detecting_) {
        redetect_ = true;
        return false;
    }
    struct DetectingScope {
        bool& flag;
        explicit DetectingScope(bool& f) : flag(f) { flag = true; }
        ~DetectingScope() { flag = false; }
    };
    bool found = false;
    measurementThread_.waitUntilIdle();  // detection opens and closes the link's handles
    do {
        redetect_ = false;
        DetectingScope scope(detecting_);
        found = DetectController();
    } while (redetect_ && !jobBusy);
    return found;
}

// The button keeps its look while a job runs, after success, without a controller and, unless the
// caller rules it out, while the failed state shows.
bool TMainForm::buttonIsQuiet(bool ruleOutFailedState) const
{
    return jobBusy || UpBtnLabel->text() == QStringLiteral("OK") || FWLABEL->text() == kNoDevice ||
           (ruleOutFailedState && !ErrorImg->isHidden());
}

void TMainForm::hoverButton(bool entering, bool ruleOutFailedState)
{
    if (buttonIsQuiet(ruleOutFailedState)) return;
    StartBtnImg->loadFromFile(imagePathOf(entering ? "img/MousetoHere.bmp" : "img/CanPress.bmp"));
    repaint();
}

void TMainForm::StartBtnImgMouseEnter() { hoverButton(true, true); }
void TMainForm::StartBtnImgMouseLeave() { hoverButton(false, true); }
void TMainForm::UpBtnLabelMouseEnter() { hoverButton(true, true); }
void TMainForm::UpBtnLabelMouseLeave() { hoverButton(false, false); }

void TMainForm::clickButton()
{
    if (FWLABEL->text() == kNoDevice) return;
    if (UpBtnLabel->text() == QStringLiteral("Updating") || !ErrorImg->isHidden()) return;
    if (UpBtnLabel->text() == QStringLiteral("OK")) {
        close();
        return;
    }
    StartUpdate();
}

void TMainForm::StartBtnImgClick() { clickButton(); }
void TMainForm::UpBtnLabelClick() { clickButton(); }

void TMainForm::StartUpdate()
{
    platform::ControllerClaim claim;
    if (!jobBusy) {
        claim = claimController(controllerLink().devicePort, controllerLink().devicePath);
        if (!claim.held()) return;  // the screen stays ready
    }
    ProgressBarValue->resize(0, ProgressBarValue->height());
    StartBtnImg->loadFromFile(imagePathOf("img/BarPresed.bmp"));
    UpBtnLabel->setText(QStringLiteral("Updating"));
    RunTimeShow->setText(QStringLiteral("0:0"));
    WarIcon->hide();
    startTick = tickCountMs();
    RunTimer->start();
    ProgressBarImg->show();
    ProgressBarValue->show();
    tellScreen();
    repaint();
    if (jobBusy) {
        jobBusy = false;  // the running update job stops at its next check
        return;
    }
    EraseBtn->setEnabled(false);
    Reset_DevBtn->setEnabled(false);
    firmwarePath = trimmedRight(HexPathShow->text());
    imagePath = trimmedRight(BinPathShow->text());
    launchUpdateThread(std::move(claim));
}

void TMainForm::RunTimerTimer()
{
    RunTimeShow->setText(QString::fromStdString(formatRunTime(tickCountMs() - startTick)));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ProgressBarValue && event->type() == QEvent::Resize)
        ProgressBarImg->setProgressValue(qRound(100.0 * ProgressBarValue->width() / ProgressBarImg->width()));
    if (watched != UpBtnLabel) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter:
        UpBtnLabelMouseEnter();
        return true;
    case QEvent::Leave:
        UpBtnLabelMouseLeave();
        return true;
    case QEvent::MouseButtonPress:
        return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        if (UpBtnLabel->rect().contains(mouse->position().toPoint())) UpBtnLabelClick();
        return true;
    }
    default:
        return false;
    }
}
