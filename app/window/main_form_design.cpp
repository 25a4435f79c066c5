// The window's controls as designed: positions, sizes, captions, fonts and first visibility.
#include "app/window/main_form.h"

#include "app/window/imageex.h"
#include "datafiles/page_settings.h"
#include "app/window/screen_texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {
struct Look {
    int pixelSize = 11;
    QColor color = Qt::black;
    bool bold = false;
    bool underline = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
};

const Look kWindowText{};

// The background picture's edge colour, carried on past the picture where the window shows more.
const QColor kPictureEdge(9, 9, 18);

QWidget* makeFill(QWidget* parent, QRect geometry, const QColor& colour)
{
    auto* fill = new QWidget(parent);
    fill->setGeometry(geometry);
    QPalette palette = fill->palette();
    palette.setColor(QPalette::Window, colour);
    fill->setPalette(palette);
    fill->setAutoFillBackground(true);
    return fill;
}

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

// Children of the window that assistive technology is not shown: pictures for the eye only, and the
// parts of a control that speaks for them.
const char* const kLeftOutOfAccessibility = "leftOutOfAccessibility";

void leaveOutOfAccessibility(QWidget* widget)
{
    widget->setProperty(kLeftOutOfAccessibility, true);
}

// The window as assistive technology meets it: its children less those left out, in reading order,
// top to bottom. What lies outside the delivered window comes last, and only in the service view:
// hidden, it would still be met, and a closed combo box's items even as showing.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override
    {
        const std::vector<QWidget*> shown = shownChildren();
        if (index < 0 || index >= static_cast<int>(shown.size())) return nullptr;
        return QAccessible::queryAccessibleInterface(shown[static_cast<std::size_t>(index)]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child == nullptr) return -1;
        const std::vector<QWidget*> shown = shownChildren();
        const auto found = std::find(shown.begin(), shown.end(), child->object());
        return found == shown.end() ? -1 : static_cast<int>(found - shown.begin());
    }

private:
    std::vector<QWidget*> shownChildren() const
    {
        const auto outside = [](const QWidget* child) {
            return !QRect(QPoint(0, 0), kDeliveredSize).contains(child->geometry());
        };
        const bool serviceView = static_cast<const TMainForm*>(widget())->inServiceView();
        std::vector<QWidget*> shown;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child != nullptr && !child->isWindow() && !child->property(kLeftOutOfAccessibility).toBool() &&
                (serviceView || !outside(child)))
                shown.push_back(child);
        }
        const auto readingPlace = [&](const QWidget* child) {
            return std::pair(outside(child), child->geometry().center().y());
        };
        std::stable_sort(shown.begin(), shown.end(),
                         [&](const QWidget* a, const QWidget* b) { return readingPlace(a) < readingPlace(b); });
        return shown;
    }
};

QAccessibleInterface* windowAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String("TMainForm") || object == nullptr || !object->isWidgetType()) return nullptr;
    return new WindowAccessible(static_cast<QWidget*>(object));
}

}  // namespace

void installWindowAccessibility()
{
    QAccessible::installFactory(windowAccessible);
}

void useWindowFonts()
{
    // A substitute is taken only where the family itself is missing: no look for Tahoma first, which
    // cost a list of every family and a font match of its own before the window was made.
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
}

void TMainForm::buildUpdateScreen()
{
    const Look whiteBold16{16, Qt::white, true, false, Qt::AlignLeft | Qt::AlignTop};
    // The background picture is a pixel short of the client area on the right and at the bottom;
    // a backdrop in the picture's edge colour keeps a light seam from showing there.
    QWidget* backdrop = makeFill(this, {0, 0, kDeliveredSize.width(), kDeliveredSize.height()}, kPictureEdge);
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

    // To the keyboard and to assistive technology the face is the big button, named by its caption
    // (tellScreen); the progress is a progress bar, and of the pictures only the warning mark says
    // what the text beside it does not.
    StartBtnImg->setRole(TImageEx::Role::PushButton);
    ProgressBarImg->setRole(TImageEx::Role::ProgressBar);
    ProgressBarImg->setAccessibleName(QStringLiteral("Progress"));
    ProgressBarValue->installEventFilter(this);  // its width is the progress bar's value
    WarIcon->setAccessibleName(QStringLiteral("Warning"));
    for (QWidget* eyeOnly : {backdrop, static_cast<QWidget*>(BKImg), static_cast<QWidget*>(CompleteImg),
                             static_cast<QWidget*>(ErrorImg), static_cast<QWidget*>(UpBtnLabel), ProgressBarValue})
        leaveOutOfAccessibility(eyeOnly);
    tellScreen();
}

void TMainForm::buildEngineeringPanel()
{
    // The panel lies on a strip beside the delivered window, where the service view brings it into
    // sight; the strip scrolls where the screen cannot show all of it, and is filled in the
    // picture's edge colour so that no grey seam shows between the picture and the panel.
    const QRect panel(784, 105, 729, 326);
    const QRect strip(kDeliveredSize.width(), 0, kServiceViewWidth - kDeliveredSize.width(), kDeliveredSize.height());
    ServiceStrip = new QScrollArea(this);
    ServiceStrip->setObjectName("ServiceStrip");
    ServiceStrip->setFrameShape(QFrame::NoFrame);
    ServiceStrip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ServiceStrip->setGeometry(strip);
    auto* stripContent = new QWidget;
    stripContent->setFixedSize(strip.size());
    makeFill(stripContent, {QPoint(0, 0), strip.size()}, kPictureEdge);
    ServiceStrip->setWidget(stripContent);
    PageControl1 = new QTabWidget(stripContent);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(panel.translated(-strip.left(), 0));
    OpDevName->raise();  // the model's name stays readable above the strip in the service view
    auto* updatePage = new QWidget;
    updatePage->setObjectName("UpdateFW_Page");
    auto* recorderPage = new QWidget;
    recorderPage->setObjectName("TempTest_Page");
    PageControl1->addTab(updatePage, QStringLiteral("USB Update Firmware"));
    PageControl1->addTab(recorderPage, QStringLiteral("Temperature Recorder"));
    buildUpdatePage(updatePage);
    buildRecorderPage(recorderPage);
    PageControl1->setCurrentIndex(kRecorderPage);
    // Out of sight, the strip and the model's name are kept from the keyboard and from assistive
    // technology too, until the service view shows them.
    ServiceStrip->hide();
    OpDevName->hide();
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
    CopyReportBtn = makeButton(page, "CopyReportBtn", "Copy Report", {536, 236, 153, 25}, false);
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
    Temp_Start_Btn = makeButton(panel, "Temp_Start_Btn", QStringLiteral("Start to log temperature"), {224, 43, 145, 56}, true);
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
    connectRecorder();
}
