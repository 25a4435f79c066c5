#include "main_form.h"

#include "file_names.h"
#include "imageex.h"
#include "message_boxes.h"
#include "message_routing.h"
#include "page_settings.h"
#include "run_time.h"

#include "link/job_busy.h"
#include "link/usb.h"
#include "platform/arch.h"
#include "platform/hid_watch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
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

const QString kNoDevice = QStringLiteral("Device Not Found");
const QString kNoFileSelected = QStringLiteral("No file be selected !!!");
const QString kReadyHint = QStringLiteral("Your device will update to the latest software version");
const QString kStartLogCaption = QStringLiteral("Start to log temperature");

struct Look {
    int pixelSize = 11;
    QColor color = Qt::black;
    bool bold = false;
    bool underline = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
};

const Look kWindowText{};

// A label of the design. An empty size lets the label take the size of its caption.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry, const Look& look)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(look.pixelSize);
    font.setBold(look.bold);
    font.setUnderline(look.underline);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, look.color);
    label->setPalette(palette);
    label->setAlignment(look.alignment);
    if (geometry.size().isEmpty()) {
        label->move(geometry.topLeft());
        label->adjustSize();
    } else {
        label->setGeometry(geometry);
    }
    return label;
}

TImageEx* makeImage(QWidget* parent, const char* name, QRect geometry, bool stretch, bool proportional)
{
    auto* image = new TImageEx(parent);
    image->setObjectName(name);
    image->setGeometry(geometry);
    image->setStretch(stretch);
    image->setProportional(proportional);
    return image;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry, bool visible)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setVisible(visible);
    return button;
}

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, QRect geometry)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setGeometry(geometry);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    return memo;
}

QTimer* makeTimer(QObject* parent, const char* name, int intervalMs)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(intervalMs);
    return timer;
}

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

TMainForm::TMainForm(const QString& folder, QWidget* parent) : QWidget(parent), appFolder(folder)
{
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("Lumaro Tessaray Controller Firmware Update Utility"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(738, 455);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildUpdateScreen();
    buildEngineeringPanel();

    // An exception that escapes start-up is shown like any other; the window opens as far as it got.
    try {
        FormCreate();
    } catch (const std::exception& error) {
        showException(QString::fromLocal8Bit(error.what()));
    }
}

TMainForm::~TMainForm() = default;

void TMainForm::buildUpdateScreen()
{
    const Look whiteBold16{16, Qt::white, true, false, Qt::AlignLeft | Qt::AlignTop};
    BKImg = makeImage(this, "BKImg", {0, 0, 736, 454}, true, true);
    CompleteImg = makeImage(this, "CompleteImg", {83, 354, 25, 25}, true, true);
    CompleteLabel = makeLabel(this, "CompleteLabel",
                              "Update Complete ! You can remove Lumaro Controller from PC now.", {120, 355, 605, 25},
                              whiteBold16);
    ErrorImg = makeImage(this, "ErrorImg", {168, 378, 25, 25}, true, true);
    ErrorImg->setTransparent(true);
    ErrorLabel = makeLabel(this, "ErrorLabel", "Fail to update ! Re-plug and update again.", {210, 378, 515, 25},
                           whiteBold16);
    FWLABEL = makeLabel(this, "FWLABEL", "102", {264, 183, 217, 37}, {24, Qt::white, false, true, Qt::AlignHCenter | Qt::AlignTop});
    Label1 = makeLabel(this, "Label1", "Lumaro Tessaray Controller", {40, 32, 0, 0}, {27, Qt::white});
    OpDevName = makeLabel(this, "OpDevName", "No control device .", {805, 16, 0, 0}, {13, Qt::red, true});
    ProgressBarImg = makeImage(this, "ProgressBarImg", {168, 323, 401, 10}, true, true);
    StartBtnImg = makeImage(this, "StartBtnImg", {168, 237, 401, 62}, true, true);
    UpBtnLabel = makeLabel(this, "UpBtnLabel", "Update", {168, 252, 401, 33}, {24, Qt::white, false, false, Qt::AlignHCenter | Qt::AlignTop});
    UpdateHint = makeLabel(this, "UpdateHint", kReadyHint, {8, 159, 717, 25}, {16, Qt::white, true, false, Qt::AlignHCenter | Qt::AlignTop});
    WarIcon = makeImage(this, "WarIcon", {233, 187, 25, 25}, true, false);

    ProgressBarValue = new QFrame(this);
    ProgressBarValue->setObjectName("ProgressBarValue");
    ProgressBarValue->setGeometry(168, 323, 0, 10);
    ProgressBarValue->setAutoFillBackground(true);
    ProgressBarValue->raise();

    RunTimer = makeTimer(this, "RunTimer", 1000);
    connect(RunTimer, &QTimer::timeout, this, &TMainForm::RunTimerTimer);

    System_Memo = makeMemo(this, "System_Memo", {0, 460, 725, 49});
    System_Memo->hide();

    StartBtnImg->setOnMouseEnter([this](QObject*) { StartBtnImgMouseEnter(); });
    StartBtnImg->setOnMouseLeave([this](QObject*) { StartBtnImgMouseLeave(); });
    connect(StartBtnImg, &TImageEx::clicked, this, &TMainForm::StartBtnImgClick);
    UpBtnLabel->installEventFilter(this);
}

void TMainForm::buildEngineeringPanel()
{
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(784, 105, 729, 326);
    auto* updatePage = new QWidget;
    updatePage->setObjectName("UpdateFW_Page");
    auto* recorderPage = new QWidget;
    recorderPage->setObjectName("TempTest_Page");
    PageControl1->addTab(updatePage, QStringLiteral("USB Update Firmware"));
    PageControl1->addTab(recorderPage, QStringLiteral("Temperature Recorder"));
    buildUpdatePage(updatePage);
    buildRecorderPage(recorderPage);
    PageControl1->setCurrentIndex(kRecorderPage);
}

void TMainForm::buildUpdatePage(QWidget* page)
{
    makeLabel(page, "Label2", "Update Firmware Version : ", {121, 8, 0, 0}, kWindowText);
    Select_FW_Btn = makeButton(page, "Select_FW_Btn", "Open firmware File", {16, 22, 153, 25}, false);
    HexPathShow = makeLabel(page, "HexPathShow", kNoFileSelected, {175, 27, 543, 28}, kWindowText);
    HexPathShow->setWordWrap(true);
    HexPathShow->hide();
    Start_Update_Btn = makeButton(page, "Start_Update_Btn", "Start Update Firmware", {216, 41, 281, 33}, true);
    makeLabel(page, "Label3", "Process Time :", {16, 56, 0, 0}, kWindowText);
    RunTimeShow = makeLabel(page, "RunTimeShow", "0:0", {91, 56, 0, 0}, kWindowText);
    Sel_ImageBin_Btn = makeButton(page, "Sel_ImageBin_Btn", "Open Image Bin File", {16, 62, 153, 25}, false);
    BinPathShow = makeLabel(page, "BinPathShow", kNoFileSelected, {175, 67, 543, 28}, kWindowText);
    BinPathShow->setWordWrap(true);
    BinPathShow->hide();
    FWUpdate_Memo = makeMemo(page, "FWUpdate_Memo", {16, 80, 689, 96});
    EraseBtn = makeButton(page, "EraseBtn", "Erase Device", {32, 270, 153, 25}, false);
    Dump_MemBtn = makeButton(page, "Dump_MemBtn", "Dump Memory", {202, 270, 153, 25}, false);
    Reset_DevBtn = makeButton(page, "Reset_DevBtn", "Reset Device", {368, 270, 153, 25}, false);
    ClearMsgBtn = makeButton(page, "ClearMsgBtn", "Clear Update Message", {536, 270, 153, 25}, false);
    ImageEx1 = makeImage(page, "ImageEx1", {-544, 56, 105, 105}, false, false);
}

void TMainForm::buildRecorderPage(QWidget* page)
{
    const Look reading{11, QColor(0, 128, 0), true};
    auto* panel = new QFrame(page);
    panel->setObjectName("Panel1");
    panel->setGeometry(0, 0, 721, 105);
    panel->setFrameShape(QFrame::StyledPanel);

    makeLabel(panel, "Label4", "Now log file : ", {16, 12, 0, 0}, kWindowText);
    LogPath_Show = makeLabel(panel, "LogPath_Show", "Not ready to log.", {96, 12, 600, 14}, kWindowText);
    makeLabel(panel, "Label5", "Measure Time Interval : ", {32, 44, 0, 0}, kWindowText);
    TimeIn = new QComboBox(panel);
    TimeIn->setObjectName("TimeIn");
    TimeIn->setGeometry(32, 62, 81, 21);
    TimeAT = new QComboBox(panel);
    TimeAT->setObjectName("TimeAT");
    TimeAT->setGeometry(119, 62, 81, 21);
    TimeAT->addItems({QStringLiteral("Sec"), QStringLiteral("Min")});
    Temp_Start_Btn = makeButton(panel, "Temp_Start_Btn", kStartLogCaption, {224, 43, 145, 56}, true);
    makeLabel(panel, "Label6", "Log List : ", {389, 28, 0, 0}, kWindowText);
    LogList = new QListWidget(panel);
    LogList->setObjectName("LogList");
    LogList->setGeometry(389, 45, 308, 52);
    makeLabel(panel, "Label7", "Log type :", {560, 8, 0, 0}, kWindowText)->hide();
    LogTxt_check = new QCheckBox(QStringLiteral("Txt"), panel);
    LogTxt_check->setObjectName("LogTxt_check");
    LogTxt_check->setGeometry(616, 6, 40, 17);
    LogTxt_check->hide();
    LogExcel_check = new QCheckBox(QStringLiteral("Excel"), panel);
    LogExcel_check->setObjectName("LogExcel_check");
    LogExcel_check->setGeometry(656, 6, 56, 17);
    LogExcel_check->setChecked(true);
    LogExcel_check->hide();

    makeLabel(page, "Label8", "Measure  temperature : ", {32, 116, 0, 0}, kWindowText);
    makeLabel(page, "Label9", "Array 1 : ", {48, 136, 0, 0}, kWindowText);
    Array1Temp_Show = makeLabel(page, "Array1Temp_Show", QStringLiteral("0 \u2103"), {112, 136, 80, 14}, reading);
    Array2Temp_Label = makeLabel(page, "Array2Temp_Label", "Array 2 : ", {48, 156, 0, 0}, kWindowText);
    Array2Temp_Show = makeLabel(page, "Array2Temp_Show", QStringLiteral("0 \u2103"), {112, 156, 80, 14}, reading);
    makeLabel(page, "Label10", "Ambient : ", {48, 176, 0, 0}, kWindowText);
    AmbientTemp_Show = makeLabel(page, "AmbientTemp_Show", QStringLiteral("0 \u2103"), {112, 176, 80, 14}, reading);
    makeLabel(page, "Label11", "Fan Speed : ", {48, 204, 0, 0}, kWindowText);
    fansp = makeLabel(page, "fansp", "0 rpm", {112, 204, 80, 14}, reading);

    makeLabel(page, "Label12", "Channel Index : ", {300, 116, 0, 0}, kWindowText);
    for (int channel = 1; channel <= 12; ++channel) {
        const int row = (channel - 1) / 3;
        const int col = (channel - 1) % 3;
        const QString caption = channel == 2 ? QStringLiteral("CH2: ") : QStringLiteral("CH%1 : ").arg(channel);
        const QByteArray captionName = QStringLiteral("CHLabel_%1").arg(channel).toLatin1();
        const QByteArray showName = QStringLiteral("CHShow_%1").arg(channel).toLatin1();
        makeLabel(page, captionName.constData(), caption, {316 + col * 130, 136 + row * 20, 0, 0}, kWindowText);
        CHShow.push_back(makeLabel(page, showName.constData(), "4096", {362 + col * 130, 136 + row * 20, 60, 14}, reading));
    }

    Temp_ProgressBar = new QProgressBar(page);
    Temp_ProgressBar->setObjectName("Temp_ProgressBar");
    Temp_ProgressBar->setGeometry(32, 233, 665, 10);
    Temp_ProgressBar->setRange(0, 100);
    Temp_ProgressBar->setTextVisible(false);
    Temp_ProgressBar->setEnabled(false);

    Temp_Timer = makeTimer(this, "Temp_Timer", 1000);
    TempBarTimer = makeTimer(this, "TempBarTimer", 30);
}

QString TMainForm::imagePathOf(const char* relativeName) const
{
    return appFolder + QString::fromLatin1(relativeName);
}

void TMainForm::FormCreate()
{
    is64BitWindows = Detect_64BitWindows();
    if (!QFile(QStringLiteral("DevInfo.DAT")).open(QIODevice::ReadOnly)) {
        showInformation(QStringLiteral("Error"), QStringLiteral("Some important file lose ! - msg(01)"));
        startupAborted_ = true;
        return;
    }
    QFile pageFile(QStringLiteral("Page.DAT"));
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
    FillLogList(RecordFolder);
    LoadDevInfo();
    if (DetectController()) {
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
}

void TMainForm::applyPageSettings(const std::string& content)
{
    const EngineeringTabs tabs = parsePageDat(content);
    PageControl1->setTabVisible(kUpdatePage, tabs.updateTabVisible);
    PageControl1->setTabVisible(kRecorderPage, tabs.recorderTabVisible);
    activePage_ = tabs.activePage;
    if (activePage_ != kNoActivePage) PageControl1->setCurrentIndex(activePage_);
}

bool TMainForm::Detect_64BitWindows() const
{
    return platform::processorArchitecture() != "x86";
}

void TMainForm::LoadDevInfo()
{
    QFile file(QStringLiteral("DevInfo.DAT"));
    DeviceModelTable.clear();
    if (!file.open(QIODevice::ReadOnly)) return;
    DevInfoTable table = parseDevInfo(file.readAll().toStdString());
    DeviceModelTable = std::move(table.models);
    if (!table.error.empty()) throw std::runtime_error(table.error);
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
    const MessageLog log = routeMessage(activePage_, target);
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
        SetRecorderControlsEnabled(true);
        Array2Temp_Label->setVisible(model.arrayCount != 1);
        Array2Temp_Show->setVisible(model.arrayCount != 1);
        OpDevName->setText(QString::fromLatin1(model.modelName));
        BKImg->loadFromFile(imagePathOf("img/devFound.bmp"));
        WarIcon->hide();
        jobBusy = false;
        StartBtnImg->loadFromFile(imagePathOf("img/CanPress.bmp"));
        UpdateHint->setText(kReadyHint);
        ProgressBarImg->hide();
        ProgressBarValue->hide();
        UpBtnLabel->setText(QStringLiteral("Update"));
        CompleteLabel->hide();
        CompleteImg->hide();
        ErrorLabel->hide();
        ErrorImg->hide();
        ScanFirmwareFolder();
        Start_Update_Btn->setEnabled(true);
        Dump_MemBtn->hide();
        Reset_DevBtn->setVisible(model.chipType == "47J53");
        currentVidPid = model.vidPid;
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
    ProgressBarImg->hide();
    ProgressBarValue->hide();
    UpBtnLabel->setText(QStringLiteral("Update"));
    CompleteLabel->hide();
    CompleteImg->hide();
    ErrorLabel->hide();
    ErrorImg->hide();
    return false;
}

void TMainForm::WMDeviceChange(unsigned eventCode)
{
    if ((eventCode == kDeviceArrival || eventCode == kDeviceRemoveComplete) && !jobBusy) DetectController();
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
    ProgressBarValue->resize(0, ProgressBarValue->height());
    StartBtnImg->loadFromFile(imagePathOf("img/BarPresed.bmp"));
    UpBtnLabel->setText(QStringLiteral("Updating"));
    RunTimeShow->setText(QStringLiteral("0:0"));
    WarIcon->hide();
    startTick = tickCountMs();
    RunTimer->start();
    ProgressBarImg->show();
    ProgressBarValue->show();
    repaint();
    if (jobBusy) {
        jobBusy = false;  // the running update job stops at its next check
        return;
    }
    EraseBtn->setEnabled(false);
    Reset_DevBtn->setEnabled(false);
    firmwarePath = trimmedRight(HexPathShow->text());
    imagePath = trimmedRight(BinPathShow->text());
    launchUpdateThread();
}

// Where the update job is started on its own thread. The job itself comes with the next change;
// until then the screen stays in its updating state.
void TMainForm::launchUpdateThread() {}

void TMainForm::RunTimerTimer()
{
    RunTimeShow->setText(QString::fromStdString(formatRunTime(tickCountMs() - startTick)));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
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
