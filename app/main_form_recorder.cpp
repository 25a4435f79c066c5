// The temperature recorder's handlers: start and stop a log, one measurement per tick written as a
// workbook row and to its journal, a fresh workbook after every 65535 rows, the progress animation,
// opening a listed workbook, saving a running log when the window closes, and writing out the logs
// a crash left as journals.
#include "main_form.h"

#include "journal_text.h"
#include "message_boxes.h"
#include "recorder_logic.h"
#include "save_failure_prompt.h"
#include "wait_with_messages.h"

#include "excelctrl.h"
#include "link/link_requests.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <stdexcept>
#include <utility>

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

// Runs measure with the requests over the given channel, or over the controller link when none is
// given. On the measurement thread: the message log takes lines from any thread.
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
// A close that comes while a measurement is under way is held back until its row is written.
class SaveLogOnClose final : public QObject {
public:
    explicit SaveLogOnClose(TMainForm* form) : QObject(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Close || watched != parent()) return false;
        if (static_cast<TMainForm*>(parent())->settleLogBeforeClose()) return false;
        event->ignore();
        return true;
    }
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
    installEventFilter(new SaveLogOnClose(this));
}

bool TMainForm::logRunning() const
{
    return Temp_Start_Btn->text() != kStartCaption;
}

// The caption is the recorder's state. The image-flash erase is not sent: it would only destroy the
// controller's image data. A press that lands inside a measurement acts once its row is written.
void TMainForm::Temp_Start_BtnClick()
{
    if (measuring_) {
        afterMeasurement_.press = true;
        return;
    }
    if (!logRunning())
        startLog();
    else
        stopLog();
}

bool TMainForm::settleLogBeforeClose()
{
    if (!logRunning()) return true;
    if (measuring_) {
        afterMeasurement_.close = true;
        return false;
    }
    // The window goes whatever the save does: a failure here must not keep it open.
    try {
        stopLog();
    } catch (const std::exception& error) {
        showException(QString::fromLocal8Bit(error.what()));
    }
    return true;
}

// What was asked for during a measurement, done now that its row is written, from the event loop.
void TMainForm::actOnRequestsAfterMeasurement()
{
    const AfterMeasurement asked = std::exchange(afterMeasurement_, {});
    if (asked.close)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    else if (asked.press)
        QMetaObject::invokeMethod(this, &TMainForm::Temp_Start_BtnClick, Qt::QueuedConnection);
}

// A new name for each log, even for two started within one second: the first is not overwritten.
QString TMainForm::newLogFilePath() const
{
    const LocalDateTime now = localNow();
    for (int sequence = 1;; ++sequence) {
        const QString path = RecordFolder + QString::fromStdString(logFileName(now, sequence));
        const bool taken = path == LogFilePath || QFileInfo::exists(path) ||
                           QFileInfo::exists(QString::fromStdString(journalPathOf(path.toStdString())));
        if (!taken) return path;
    }
}

void TMainForm::startLog()
{
    const QString count = TimeIn->currentText();
    const std::optional<int> intervalMs = measureIntervalMs(count.toStdString(), TimeAT->currentIndex());
    if (!intervalMs) throw std::runtime_error("'" + count.toStdString() + "' is not a measuring interval");
    Temp_Timer->setInterval(*intervalMs);
    Temp_Start_Btn->setText(kStopCaption);
    LogFilePath = newLogFilePath();
    logToWorkbook_ = LogExcel_check->isChecked();
    if (logToWorkbook_) {
        LogPath_Show->setText(LogFilePath);
        openLogWorkbook();
        const DeviceModel* model = modelAt(DeviceModelTable, currentModel);
        const std::string modelName = model != nullptr ? QString::fromLatin1(model->modelName).toStdString() : std::string();
        writeLogCells(logHeaderCells(modelName));
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
    LogRowCount = 0;  // no log runs, whatever becomes of the save
    // The list lets events run, and a new log may start meanwhile: nothing of this log is touched after it.
    if (!logToWorkbook_) return;
    saveLogWorkbook(LogFilePath);
    FillLogList(RecordFolder);
}

void TMainForm::openLogWorkbook()
{
    ExcelOpen();
    if (!journal_.start(LogFilePath))
        AddMessage(QStringLiteral("No journal for the log %1: %2").arg(LogFilePath, journal_.errorText()), 0);
}

// Rows go to the journal first: what reached it survives whatever happens to the program next.
void TMainForm::writeLogCells(const std::vector<LogCell>& cells)
{
    journal_.append(cells);
    for (const LogCell& cell : cells) ExcelSetCell(1, cell.column, cell.row, cell.text);
}

// Saves the open workbook and ends its instance. A save the spreadsheet program refuses keeps the
// rows: the user is asked until it is saved, here or elsewhere, or given up by choice.
void TMainForm::saveLogWorkbook(QString path)
{
    for (;;) {
        try {
            ExcelSaveAs(path.toStdString());
            break;
        } catch (const automation::AutomationError& error) {
            // Without an instance there is nothing to keep: shown as any other failure.
            if (error.code() != automation::ErrorCode::ServerRefused) throw;
            const SaveFailureChoice choice = askAfterFailedSave(path, QString::fromStdString(error.what()));
            if (choice == SaveFailureChoice::Discard) {
                AddMessage(QStringLiteral("The unsaved log %1 was discarded.").arg(path), 0);
                break;
            }
            if (choice == SaveFailureChoice::SaveElsewhere)
                if (const QString other = chooseOtherWorkbookPath(path); !other.isEmpty()) path = other;
        }
    }
    journal_.finish();
    ExcelQuit();
}

// The exchanges run on the measurement thread; the row is written when they are done.
void TMainForm::Temp_TimerTimer()
{
    // A device job owns the link's one packet buffer: no exchange, no row, until it ends. While the
    // last measurement is under way the tick is let go: exchanges never overlap.
    if (jobBusy || measuring_) return;
    measuring_ = true;
    measurementTime_ = localNow();  // the row's time is the tick's, however long the exchanges take
    const DeviceModel* model = modelAt(DeviceModelTable, currentModel);
    const int arrayCount = model != nullptr ? model->arrayCount : 0;
    measurementThread_.start(
        [this, channel = recorderChannel_, arrayCount] {
            Measurement measurement;
            withMeasurementRequests(*this, channel, [&](ControllerRequests& requests) {
                measurement.temperatures = requests.Get_Temperature(arrayCount);
                measurement.channels = requests.Get_AllChannel();
                measurement.fanSpeed = requests.Get_FanSpeed();
            });
            return measurement;
        },
        this, [this, arrayCount](const Measurement& measurement) { measurementDone(arrayCount, measurement); });
}

void TMainForm::measurementDone(int arrayCount, const Measurement& measurement)
{
    measuring_ = false;
    try {
        showAndWriteMeasurement(arrayCount, measurement);
    } catch (...) {
        actOnRequestsAfterMeasurement();
        throw;
    }
    actOnRequestsAfterMeasurement();
    if (logToWorkbook_ && logRunning() && workbookIsFull(LogRowCount)) rotateLog();
}

void TMainForm::showAndWriteMeasurement(int arrayCount, const Measurement& measurement)
{
    const TemperatureReading& temperatures = measurement.temperatures;
    Array1Temp_Show->setText(QString::fromStdString(temperatureText(temperatures.array1)));
    if (arrayCount != 1) Array2Temp_Show->setText(QString::fromStdString(temperatureText(temperatures.array2)));
    AmbientTemp_Show->setText(QString::fromStdString(temperatureText(temperatures.ambient)));
    for (std::size_t i = 0; i < CHShow.size() && i < measurement.channels.ch.size(); ++i)
        CHShow[i]->setText(QString::number(measurement.channels.ch[i]));
    fansp->setText(QString::fromStdString(fanSpeedText(measurement.fanSpeed)));

    // Without a workbook there is nothing to take the row.
    if (!logToWorkbook_ || !logRunning()) return;
    WriteLogRow(measurement.fanSpeed, measurement.channels, temperatures);
    ++LogRowCount;
}

void TMainForm::WriteLogRow(std::int32_t fanSpeed, const ChannelReading& channels, const TemperatureReading& temperatures)
{
    const LogMeasurement measurement{fanSpeed, channels.ch, temperatures.array1, temperatures.array2, temperatures.ambient};
    writeLogCells(logRowCells(LogRowCount, clockText(measurementTime_), measurement));
}

// The count starts again only once the full workbook is saved: a failed save keeps its rows in the
// open workbook and its journal, and the next tick adds its row and tries again, instead of writing
// over row 4. The failure is shown once per workbook, from the event loop, so that the log runs on
// while the box is up.
void TMainForm::rotateLog()
{
    try {
        ExcelSaveAs(LogFilePath.toStdString());
    } catch (const automation::AutomationError& error) {
        if (error.code() != automation::ErrorCode::ServerRefused) throw;
        if (std::exchange(rotationFailureShown_, true)) return;
        const QString text = QString::fromStdString(error.what()) +
                             QStringLiteral("\n\nThe log goes on in the same workbook; its rows are kept.");
        QMetaObject::invokeMethod(this, [text] { showException(text); }, Qt::QueuedConnection);
        return;
    }
    rotationFailureShown_ = false;
    LogRowCount = 0;
    journal_.finish();
    ExcelQuit();
    LogFilePath = newLogFilePath();
    LogPath_Show->setText(LogFilePath);
    // The list lets events run; the new workbook is open by then, so a stop clicked meanwhile saves it.
    try {
        openLogWorkbook();
    } catch (...) {
        FillLogList(RecordFolder);
        throw;
    }
    FillLogList(RecordFolder);
}

// Each journal left in the folder is a log that a crash kept from being saved: its cells are
// written out again as its workbook, and the message log says so. A journal that cannot be written
// out stays for the next start.
void TMainForm::recoverJournals()
{
    const QFileInfoList journals =
        QDir(RecordFolder).entryInfoList({QStringLiteral("*") + QString::fromUtf8(kJournalSuffix)}, QDir::Files, QDir::Name);
    for (const QFileInfo& journal : journals) {
        QFile file(journal.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const std::vector<LogCell> cells = journalCells(file.readAll().toStdString());
        file.close();
        const QString wanted = QString::fromStdString(workbookPathOfJournal(journal.filePath().toStdString()));
        QString target = wanted;
        for (int sequence = 2; QFileInfo::exists(target); ++sequence)
            target = wanted.chopped(4) + QStringLiteral("_%1.xls").arg(sequence);
        try {
            ExcelOpen();
            for (const LogCell& cell : cells) ExcelSetCell(1, cell.column, cell.row, cell.text);
            ExcelSaveAs(target.toStdString());
            ExcelQuit();
        } catch (const std::exception& error) {
            AddMessage(QStringLiteral("The unsaved log %1 could not be recovered: %2")
                           .arg(journal.fileName(), QString::fromLocal8Bit(error.what())), 0);
            continue;
        }
        file.remove();
        AddMessage(QStringLiteral("Recovered %1 rows of an unsaved log into %2")
                       .arg(dataRowsIn(cells))
                       .arg(QFileInfo(target).fileName()), 0);
    }
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
