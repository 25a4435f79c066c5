// The temperature recorder's handlers: start and stop a log, one measurement per tick written as a
// workbook row and to its journal, a fresh workbook after every 65535 rows, the progress animation,
// opening a listed workbook, saving a running log when the window closes, and writing out the logs
// a crash left as journals (found by the recorder's journal recovery). The workbook calls run on the workbook thread, in the order they are
// posted; their outcomes come back here.
#include "app/window/main_form.h"

#include "app/window/message_boxes.h"
#include "app/window/save_failure_prompt.h"
#include "app/window/wait_with_messages.h"

#include "link/link_requests.h"
#include "platform/core/utf8_path.h"
#include "platform/files/folder_link.h"
#include "recorder/journal_recovery.h"
#include "recorder/journal_text.h"
#include "recorder/recorder_logic.h"
#include "recorder/workbook/excelctrl.h"
#include "recorder/workbook_calls.h"

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
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace {

const QString kStartCaption = QStringLiteral("Start to log temperature");
const QString kStopCaption = QStringLiteral("Stop to log temperature");
const QString kNotLogging = QStringLiteral("Not ready to log.");

// How long a close waits for a log's save before the window goes anyway, its journal kept.
constexpr std::chrono::seconds kCloseWaitForSave(60);

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

// The spreadsheet program's own refusal, as its text; anything else (no instance, a program that
// went away) is thrown on, to be shown as any other failure.
QString refusalText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const automation::AutomationError& error) {
        if (error.code() != automation::ErrorCode::ServerRefused) throw;
        return QString::fromStdString(error.what());
    }
}

QString failureText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
}

// Failures of calls whose outcome needs nothing else are shown as any other failure.
void showAnyFailure(const std::exception_ptr& failure)
{
    if (failure) std::rethrow_exception(failure);
}

// A log still running when the window closes is saved as a stop would save it, rather than lost.
// A close that comes while a measurement or a save is under way is held back until it has ended.
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
    // That the spreadsheet program could not be made and the built-in writer took its place.
    workbookThread_.showNotes(this, [this](const std::string& note) { AddMessage(QString::fromStdString(note), 0); });
    closeDeadline_ = new QTimer(this);
    closeDeadline_->setSingleShot(true);
    closeDeadline_->setInterval(kCloseWaitForSave);
    connect(closeDeadline_, &QTimer::timeout, this, [this] {
        if (!savingLog_) return;
        AddMessage(QStringLiteral("The log %1 was not saved in time; its rows are written out at the next start.")
                       .arg(LogFilePath), 0);
        closeWithoutSave_ = true;
        close();
    });
}

// Runs calls on the workbook thread; done then runs here with what they threw, if anything.
void TMainForm::onWorkbookThread(WorkbookThread::Calls calls, WorkbookThread::Done done)
{
    ++workbookCallsPending_;
    workbookThread_.post(std::move(calls), this, [this, done = std::move(done)](std::exception_ptr failure) {
        --workbookCallsPending_;
        done(failure);
    });
}

bool TMainForm::logRunning() const
{
    return Temp_Start_Btn->text() != kStartCaption;
}

// The caption is the recorder's state. The image-flash erase is not sent: it would only destroy the
// controller's image data. A press that lands inside a measurement acts once its row is written, one
// inside a save once the save has ended: a new log must not take the workbook a retry would save.
// Presses that wait act one by one, in order; once the window is to close, the close stops the log.
void TMainForm::Temp_Start_BtnClick()
{
    if (deferred_.close) return;
    if (measuring_ || savingLog_ || deferred_.presses > 0) {
        ++deferred_.presses;
        return;
    }
    startOrStopLog();
}

void TMainForm::startOrStopLog()
{
    if (!logRunning())
        startLog();
    else
        stopLog();
}

// The window goes once the save has ended, however it ended: saved, given up, or failed otherwise.
// The close stays asked for until the window goes, whatever closes are tried meanwhile.
bool TMainForm::settleLogBeforeClose()
{
    if (closeWithoutSave_) return true;
    deferred_.close = true;
    if (measuring_) return false;
    if (logRunning()) stopLog();
    if (savingLog_) {
        closeDeadline_->start();
        return false;
    }
    deferred_ = {};
    return true;
}

// What was asked for during a measurement or a save, done once neither is under way, from the event
// loop. A request stays asked for until it is carried out: no measurement starts meanwhile.
void TMainForm::actOnDeferredRequests()
{
    if (measuring_ || savingLog_) return;
    if (deferred_.close)
        QMetaObject::invokeMethod(this, &TMainForm::closeAsAsked, Qt::QueuedConnection);
    else if (deferred_.presses > 0)
        QMetaObject::invokeMethod(this, &TMainForm::pressAsAsked, Qt::QueuedConnection);
}

// The close that waited. One the user takes back (asked about an update it would cut short) is let
// go: the log goes on.
void TMainForm::closeAsAsked()
{
    if (!close() && !measuring_ && !savingLog_) deferred_.close = false;
}

// The first press that waited; the next one acts once this one's save has ended.
void TMainForm::pressAsAsked()
{
    if (deferred_.close || deferred_.presses == 0 || measuring_ || savingLog_) return;
    --deferred_.presses;
    const auto actAfterwards = qScopeGuard([this] { actOnDeferredRequests(); });
    startOrStopLog();
}

// A new name for each log, even for two started within one second: the first is not overwritten.
QString TMainForm::newLogFilePath() const
{
    const LocalDateTime now = localNow();
    for (int sequence = 1;; ++sequence) {
        const QString path = RecordFolder + QString::fromStdString(logFileName(now, sequence));
        const bool taken = path == LogFilePath || recoveryTargets_.contains(path) || QFileInfo::exists(path) ||
                           QFileInfo::exists(QString::fromStdString(journalPathOf(path.toStdString())));
        if (!taken) return path;
    }
}

// With a workbook, the timers start once it is open: a program that cannot be started stops the
// start half-way, with the caption already changed, and the next press stops the log.
void TMainForm::startLog()
{
    const QString count = TimeIn->currentText();
    const std::optional<int> intervalMs = measureIntervalMs(count.toStdString(), TimeAT->currentIndex());
    if (!intervalMs) throw std::runtime_error("'" + count.toStdString() + "' is not a measuring interval");
    Temp_Timer->setInterval(*intervalMs);
    Temp_Start_Btn->setText(kStopCaption);
    ++logNumber_;
    LogFilePath = newLogFilePath();
    logToWorkbook_ = LogExcel_check->isChecked();
    if (!logToWorkbook_) {
        startLogTimers();
        return;
    }
    LogPath_Show->setText(LogFilePath);
    const DeviceModel* model = modelAt(DeviceModelTable, currentModel);
    const std::string modelName = model != nullptr ? QString::fromLatin1(model->modelName).toStdString() : std::string();
    openLogWorkbook(logHeaderCells(modelName));
}

void TMainForm::startLogTimers()
{
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
    if (!logToWorkbook_) return;
    savingLog_ = true;
    saveLogWorkbook(LogFilePath);
}

// The instance and the first cells in one go: when the program cannot be started, no cell reaches
// whatever instance the writer held before.
void TMainForm::openLogWorkbook(const std::vector<LogCell>& firstCells)
{
    workbookLostRows_ = false;
    journalFailureShown_ = false;
    rowsWhileOpening_ = 0;
    if (!journal_.start(LogFilePath))
        AddMessage(QStringLiteral("No journal for the log %1: %2").arg(LogFilePath, journal_.errorText()), 0);
    keepInJournal(firstCells);
    onWorkbookThread(
        [firstCells, journal = journal_.path()] {
            syncJournal(journal);
            ExcelOpen();
            setLogCells(firstCells);
        },
        [this, log = logNumber_](std::exception_ptr failure) {
            const bool current = log == logNumber_ && logRunning();
            if (!failure) {
                if (current && !Temp_Timer->isActive()) startLogTimers();
                return;
            }
            if (current) {
                Temp_Timer->stop();
                TempBarTimer->stop();
                // A rotated log measures on while its next workbook opens: the rows of that while
                // are in the journal only, and it stays for the next start. A new log's is empty.
                if (rowsWhileOpening_ == 0)
                    removeJournal();
                else
                    journal_.close();
            }
            std::rethrow_exception(failure);
        });
}

// Rows go to the journal first: what reached it survives whatever happens to the program next.
void TMainForm::writeLogCells(const std::vector<LogCell>& cells)
{
    ++rowsWhileOpening_;
    keepInJournal(cells);
    onWorkbookThread(
        [cells, journal = journal_.path()] {
            syncJournal(journal);
            setLogCells(cells);
        },
        [this, log = logNumber_](std::exception_ptr failure) {
            if (failure && log == logNumber_) workbookStoppedTakingRows(failure);
        });
}

// A journal that stops taking rows is told once per log: the log runs on, in its workbook only.
void TMainForm::keepInJournal(const std::vector<LogCell>& cells)
{
    if (journal_.append(cells) || journal_.path().empty() || std::exchange(journalFailureShown_, true)) return;
    AddMessage(QStringLiteral("The rows of the log %1 are not being kept in its journal (%2): a crash would lose them.")
                   .arg(LogFilePath, journal_.errorText()), 0);
}

// The workbook lost a row (its program gone, or refusing): the log stops measuring, the failure is
// shown once rather than at every tick, and the journal, which has every row, stays for the next
// start even if the workbook is saved after all.
void TMainForm::workbookStoppedTakingRows(const std::exception_ptr& failure)
{
    if (std::exchange(workbookLostRows_, true)) return;
    Temp_Timer->stop();
    TempBarTimer->stop();
    AddMessage(QStringLiteral("The workbook of the log %1 took no more rows: the log stopped measuring. Its rows are "
                              "kept in its journal and written out at the next start.").arg(LogFilePath), 0);
    std::rethrow_exception(failure);
}

// The workbook is saved: its journal goes, unless the workbook lacks rows that only the journal has.
void TMainForm::settleJournalAfterSave()
{
    if (workbookLostRows_) {
        journal_.close();
        return;
    }
    removeJournal();
}

void TMainForm::removeJournal()
{
    const QString path = QString::fromStdString(journal_.path());
    if (!journal_.remove())
        AddMessage(QStringLiteral("The journal %1 could not be removed (%2): its rows are written out again at the next "
                                  "start.").arg(path, journal_.errorText()), 0);
}

// Saves the open workbook; its instance ends once the save has ended (logWorkbookSaved). The window
// runs on meanwhile.
void TMainForm::saveLogWorkbook(const QString& path)
{
    if (deferred_.close) closeDeadline_->start();
    onWorkbookThread([target = path.toStdString()] { saveWorkbookDurably(target); },
                     [this, path](std::exception_ptr failure) { logWorkbookSaved(path, failure); });
}

// A save the spreadsheet program refuses keeps the rows: the user is asked until it is saved, here or
// elsewhere, or given up by choice. Any other failure is shown, and the journal stays for the next start.
void TMainForm::logWorkbookSaved(const QString& path, const std::exception_ptr& failure)
{
    closeDeadline_->stop();
    if (failure) {
        QString reason;
        try {
            reason = refusalText(failure);
        } catch (...) {
            journal_.close();  // the rows are nowhere else: written out at the next start
            endLogSave();
            throw;
        }
        switch (askAfterFailedSave(path, reason)) {
        case SaveFailureChoice::TryAgain:
            saveLogWorkbook(path);
            return;
        case SaveFailureChoice::SaveElsewhere: {
            const QString other = chooseOtherWorkbookPath(path);
            saveLogWorkbook(other.isEmpty() ? path : other);
            return;
        }
        case SaveFailureChoice::Discard:
            AddMessage(QStringLiteral("The unsaved log %1 was discarded.").arg(path), 0);
            removeJournal();
            onWorkbookThread(&ExcelQuit, showAnyFailure);
            endLogSave();
            return;
        }
    }
    settleJournalAfterSave();
    onWorkbookThread(&ExcelQuit, showAnyFailure);
    endLogSave();
}

// The list lets events run, and a new log may start meanwhile: nothing of the saved log is touched after it.
void TMainForm::endLogSave()
{
    savingLog_ = false;
    FillLogList(RecordFolder);
    actOnDeferredRequests();
}

// The exchanges run on the measurement thread; the row is written when they are done.
void TMainForm::Temp_TimerTimer()
{
    // A device job owns the link's one packet buffer: no exchange, no row, until it ends. While the
    // last measurement is under way the tick is let go: exchanges never overlap. So it is while a
    // press or a close waits for that measurement: it acts after it, not after one more.
    if (jobBusy || measuring_ || deferred_.close || deferred_.presses > 0) return;
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
    const auto actAfterwards = qScopeGuard([this] { actOnDeferredRequests(); });
    showAndWriteMeasurement(arrayCount, measurement);
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

// The full workbook is saved from the workbook thread; until its outcome is in, the measurement
// counts as under way, so that ticks, presses and closes wait for it as for a row.
void TMainForm::rotateLog()
{
    measuring_ = true;
    onWorkbookThread([path = LogFilePath.toStdString()] { saveWorkbookDurably(path); },
                     [this](std::exception_ptr failure) {
                         measuring_ = false;
                         const auto actAfterwards = qScopeGuard([this] { actOnDeferredRequests(); });
                         rotatedWorkbookSaved(failure);
                     });
}

// The count starts again only once the full workbook is saved: a failed save keeps its rows in the
// open workbook and its journal, and the next tick adds its row and tries again, instead of writing
// over row 4. The failure is shown once per workbook, from the event loop, so that the log runs on
// while the box is up.
void TMainForm::rotatedWorkbookSaved(const std::exception_ptr& failure)
{
    if (failure) {
        QString reason;
        try {
            reason = refusalText(failure);
        } catch (...) {
            workbookStoppedTakingRows(std::current_exception());
            return;
        }
        if (std::exchange(rotationFailureShown_, true)) return;
        const QString text = reason + QStringLiteral("\n\nThe log goes on in the same workbook; its rows are kept.");
        QMetaObject::invokeMethod(this, [text] { showException(text); }, Qt::QueuedConnection);
        return;
    }
    rotationFailureShown_ = false;
    LogRowCount = 0;
    settleJournalAfterSave();
    onWorkbookThread(&ExcelQuit, showAnyFailure);
    LogFilePath = newLogFilePath();
    LogPath_Show->setText(LogFilePath);
    // The list lets events run; the new workbook's opening is posted by then, so a stop clicked
    // meanwhile saves it.
    openLogWorkbook({});
    FillLogList(RecordFolder);
}

// At start-up: a Record that is a link someone else made would send the workbooks where they chose.
bool TMainForm::openRecordFolder()
{
    if (platform::isUntrustedFolderLink(RecordFolder.toStdString())) {
        LogExcel_check->setChecked(false);
        LogExcel_check->setEnabled(false);
        AddMessage(QStringLiteral("The folder %1 is a link to another place, which is not safe to write into: the "
                                  "recorder keeps no workbooks. Remove the link; the next start makes the folder again.")
                       .arg(RecordFolder), 0);
        return false;
    }
    FillLogList(RecordFolder);
    return true;
}

// Each journal of the recorder's left in the folder is a log that a crash kept from being saved:
// its cells are written out again as its workbook, and the message log says so. A journal that
// cannot be written out stays for the next start.
void TMainForm::recoverJournals()
{
    std::vector<FoundJournal> journals = findRecoverableJournals(RecordFolder, [this](const QString& journal, const QString& reason) {
        AddMessage(QStringLiteral("The unsaved log %1 could not be read: %2").arg(journal, reason), 0);
    });
    for (FoundJournal& journal : journals) {
        const QString target = recoveryTarget(RecordFolder, journal.name, journal.path, recoveryTargets_);
        recoveryTargets_.insert(target);
        const QString fileName = QFileInfo(journal.path).fileName();
        onWorkbookThread(
            [cells = journal.cells, target = target.toStdString()] {
                ExcelOpen();
                setLogCells(cells);
                saveWorkbookDurably(target);
                ExcelQuit();
            },
            [this, held = journal.held, path = journal.path, fileName, rows = dataRowsIn(journal.cells),
             dropped = journal.dropped, target](std::exception_ptr failure) {
                recoveryTargets_.remove(target);
                if (failure) {
                    AddMessage(QStringLiteral("The unsaved log %1 could not be recovered: %2")
                                   .arg(fileName, failureText(failure)), 0);
                    return;
                }
                // Removed while still held, so that no other instance takes it in between.
                std::error_code removeError;
                const bool removed = std::filesystem::remove(platform::utf8Path(path.toStdString()), removeError);
                held->close();
                QString line = QStringLiteral("Recovered %1 rows of an unsaved log into %2").arg(rows).arg(QFileInfo(target).fileName());
                if (dropped > 0)
                    line += QStringLiteral("; %1 cells beyond what a worksheet holds were left out").arg(dropped);
                AddMessage(line, 0);
                if (!removed)
                    AddMessage(QStringLiteral("The journal %1 could not be removed (%2): it is written out again at the "
                                              "next start.").arg(fileName, QString::fromStdString(removeError.message())), 0);
                FillLogList(RecordFolder);
            });
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
