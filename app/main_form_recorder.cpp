// The temperature recorder's handlers: start and stop a log, one measurement per tick written as a
// workbook row, a fresh workbook after every 65535 rows, the progress animation, opening a listed
// workbook, and saving a running log when the window closes.
#include "main_form.h"

#include "recorder_logic.h"
#include "wait_with_messages.h"

#include "excelctrl.h"
#include "link/link_requests.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <stdexcept>

namespace {

const QString kStartCaption = QStringLiteral("Start to log temperature");
const QString kStopCaption = QStringLiteral("Stop to log temperature");
const QString kNotLogging = QStringLiteral("Not ready to log.");

// The row of the controller found, or nullptr when the model table has no such row.
const DeviceModel* modelAt(const std::vector<DeviceModel>& table, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < table.size() ? &table[static_cast<std::size_t>(index)] : nullptr;
}

LocalDateTime localNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

// Runs measure with the requests over the given channel, or over the controller link when none is given.
template <typename Measure>
void withMeasurementRequests(TMainForm& form, PacketChannel* channel, Measure measure)
{
    LogSink log = [&form](const std::string& line) { form.AddMessage(QString::fromStdString(line), 1); };
    WaitHook wait = [](int ms) { WaitWithMessages(static_cast<std::uint32_t>(ms)); };
    if (channel == nullptr) {
        LinkRequests link(controllerLink(), std::move(log), std::move(wait));
        measure(link.requests());
        return;
    }
    ControllerRequests requests(*channel, controllerLink().packetBuffer, controllerLink().lastIoError, jobBusy,
                                std::move(log), std::move(wait));
    measure(requests);
}

// A log still running when the window closes is saved as a stop would save it, rather than lost.
class SaveLogOnClose final : public QObject {
public:
    SaveLogOnClose(TMainForm* form, QPushButton* startButton) : QObject(form), startButton_(startButton) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched == parent() && startButton_->text() != kStartCaption)
            static_cast<TMainForm*>(parent())->Temp_Start_BtnClick();
        return false;
    }

private:
    QPushButton* startButton_;
};

}  // namespace

void TMainForm::connectRecorder()
{
    // Clicks are handled once the mouse event is done with: an automation error then leaves through
    // the event loop to the application's error handler, not through the widget's mouse handling,
    // which does not expect it and would leak or leave the button pressed.
    connect(Temp_Start_Btn, &QPushButton::clicked, this, &TMainForm::Temp_Start_BtnClick, Qt::QueuedConnection);
    connect(LogList, &QListWidget::itemDoubleClicked, this, &TMainForm::LogListClick, Qt::QueuedConnection);
    Temp_Timer->setTimerType(Qt::PreciseTimer);  // rows a second apart, not a twentieth more or less
    connect(Temp_Timer, &QTimer::timeout, this, &TMainForm::Temp_TimerTimer);
    connect(TempBarTimer, &QTimer::timeout, this, &TMainForm::TempBarTimerTimer);
    installEventFilter(new SaveLogOnClose(this, Temp_Start_Btn));
}

// The caption is the recorder's state. The image-flash erase is not sent: it would only destroy the
// controller's image data.
void TMainForm::Temp_Start_BtnClick()
{
    if (Temp_Start_Btn->text() == kStartCaption)
        startLog();
    else
        stopLog();
}

void TMainForm::startLog()
{
    const QString count = TimeIn->currentText();
    const std::optional<int> intervalMs = measureIntervalMs(count.toStdString(), TimeAT->currentIndex());
    if (!intervalMs) throw std::runtime_error("'" + count.toStdString() + "' is not a measuring interval");
    Temp_Timer->setInterval(*intervalMs);
    Temp_Start_Btn->setText(kStopCaption);
    LogFilePath = RecordFolder + QString::fromStdString(logFileName(localNow()));
    logToWorkbook_ = LogExcel_check->isChecked();
    if (logToWorkbook_) {
        LogPath_Show->setText(LogFilePath);
        ExcelOpen();
        const DeviceModel* model = modelAt(DeviceModelTable, currentModel);
        const std::string modelName = model != nullptr ? QString::fromLatin1(model->modelName).toStdString() : std::string();
        for (const LogCell& cell : logHeaderCells(modelName)) ExcelSetCell(1, cell.column, cell.row, cell.text);
    }
    Temp_Timer->start();
    TempBarTimer->start();
    BarStep = 0;
}

void TMainForm::stopLog()
{
    Temp_Start_Btn->setText(kStartCaption);
    Temp_Timer->stop();
    TempBarTimer->stop();
    LogPath_Show->setText(kNotLogging);
    repaint();
    // The list lets events run, and a new log may start meanwhile: nothing of this log is touched after it.
    const bool saving = logToWorkbook_;
    if (saving) {
        ExcelSaveAs(LogFilePath.toStdString());
        ExcelQuit();
    }
    LogRowCount = 0;
    if (saving) FillLogList(RecordFolder);
}

void TMainForm::Temp_TimerTimer()
{
    // A device job owns the link's one packet buffer: no exchange, no row, until it ends.
    if (jobBusy) return;
    const DeviceModel* model = modelAt(DeviceModelTable, currentModel);
    const int arrayCount = model != nullptr ? model->arrayCount : 0;
    TemperatureReading temperatures;
    ChannelReading channels;
    std::int32_t fanSpeed = 0;
    withMeasurementRequests(*this, recorderChannel_, [&](ControllerRequests& requests) {
        temperatures = requests.Get_Temperature(arrayCount);
        Array1Temp_Show->setText(QString::fromStdString(temperatureText(temperatures.array1)));
        if (arrayCount != 1) Array2Temp_Show->setText(QString::fromStdString(temperatureText(temperatures.array2)));
        AmbientTemp_Show->setText(QString::fromStdString(temperatureText(temperatures.ambient)));

        channels = requests.Get_AllChannel();
        for (std::size_t i = 0; i < CHShow.size() && i < channels.ch.size(); ++i)
            CHShow[i]->setText(QString::number(channels.ch[i]));

        fanSpeed = requests.Get_FanSpeed();
        fansp->setText(QString::fromStdString(fanSpeedText(fanSpeed)));
    });

    // Without a workbook there is nothing to take the row.
    if (!logToWorkbook_) return;
    WriteLogRow(fanSpeed, channels, temperatures);
    ++LogRowCount;
    if (workbookIsFull(LogRowCount)) rotateLog();
}

void TMainForm::WriteLogRow(std::int32_t fanSpeed, const ChannelReading& channels, const TemperatureReading& temperatures)
{
    const LogMeasurement measurement{fanSpeed, channels.ch, temperatures.array1, temperatures.array2, temperatures.ambient};
    for (const LogCell& cell : logRowCells(LogRowCount, clockText(localNow()), measurement))
        ExcelSetCell(1, cell.column, cell.row, cell.text);
}

// The count starts again only once the full workbook is saved: a failed save keeps its rows in the
// open workbook, and the next tick adds its row and tries again, instead of writing over row 4.
void TMainForm::rotateLog()
{
    ExcelSaveAs(LogFilePath.toStdString());
    LogRowCount = 0;
    ExcelQuit();
    LogFilePath = RecordFolder + QString::fromStdString(logFileName(localNow()));
    LogPath_Show->setText(LogFilePath);
    // The list lets events run; the new workbook is open by then, so a stop clicked meanwhile saves it.
    try {
        ExcelOpen();
    } catch (...) {
        FillLogList(RecordFolder);
        throw;
    }
    FillLogList(RecordFolder);
}

void TMainForm::TempBarTimerTimer()
{
    BarStep = nextBarStep(BarStep);
    Temp_ProgressBar->setValue(BarStep);
    repaint();
}

void TMainForm::LogListClick()
{
    const QListWidgetItem* entry = LogList->currentItem();
    if (entry == nullptr) return;
    const QString path = RecordFolder + entry->text();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        throw std::runtime_error("No program opens " + path.toStdString());
}
