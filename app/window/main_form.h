// The program's one window: the update screen, the engineering panel beside it (outside the
// visible area), start-up, the message log, controller detection and hot-plug, and the big
// button's hover and click rules.
#pragma once

#include "datafiles/dev_info.h"
#include "recorder/log_journal.h"
#include "recorder/measurement_thread.h"
#include "recorder/recorder_logic.h"
#include "recorder/workbook_thread.h"

#include "jobs/drive_survey.h"
#include "jobs/removedisk.h"
#include "jobs/update_history.h"
#include "platform/files/controller_claim.h"
#include "platform/machine/keep_awake.h"

#include <QPoint>
#include <QSet>
#include <QSize>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDateTime;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QThread;
class QTimer;
class PacketChannel;
struct ChannelReading;
struct TemperatureReading;
class TImageEx;
struct SupportFacts;
class UpdateThread;
class EraseThread;
class ResetThread;
class EngineeringPage;
class UpdateScreen;
namespace platform {
class HidWatcher;
}

// The delivered client area, and the width the service view grows it to: the engineering panel's
// right edge and a margin.
inline constexpr QSize kDeliveredSize(738, 455);
inline constexpr int kServiceViewWidth = 784 + 729 + 8;

// Codes of the device-change events the window reacts to.
inline constexpr unsigned kDeviceArrival = 0x8000;
inline constexpr unsigned kDeviceRemoveComplete = 0x8004;

// The window is laid out for Tahoma; where there is none (Linux), a condensed face of similar width
// keeps every caption inside its designed size. Called once before the window is made.
void useWindowFonts();

// Assistive technology's view of the window itself: installed by the window before anything of it
// can be asked about.
void installWindowAccessibility();

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // appFolder: the program's folder with a trailing separator; the data files are read from the
    // working directory, or from appFolder when the working directory has none. Runs the whole start-up.
    explicit TMainForm(const QString& appFolder, QWidget* parent = nullptr);
    ~TMainForm() override;

    // True when start-up found a data file missing: the program is to end.
    bool startupAborted() const { return startupAborted_; }
    // True while steps of start-up wait for the first paint (finishStartup).
    bool startupPending() const { return startupToFinish_ && !startupFinished_; }

    // Start-up pieces.
    void FormCreate();
    void LoadDevInfo();
    void ScanFirmwareFolder();
    void FillLogList(const QString& folder);
    bool Detect_64BitWindows() const;

    // The message log. Safe to call from any thread: lines from other threads are appended on the
    // UI thread in the order of the calls, and the caller does not wait.
    void AddMessage(const QString& line, int target);

    // Update screen.
    bool DetectController();
    void WMDeviceChange(unsigned eventCode);
    void StartBtnImgMouseEnter();
    void StartBtnImgMouseLeave();
    void UpBtnLabelMouseEnter();
    void UpBtnLabelMouseLeave();
    void StartBtnImgClick();
    void UpBtnLabelClick();
    void StartUpdate();
    void RunTimerTimer();
    void SetRecorderControlsEnabled(bool enabled);

    // Temperature recorder (main_form_recorder.cpp).
    void Temp_Start_BtnClick();
    void Temp_TimerTimer();
    void TempBarTimerTimer();
    void WriteLogRow(std::int32_t fanSpeed, const ChannelReading& channels, const TemperatureReading& temperatures);
    void LogListClick();
    // Tests measure a stand-in controller through this channel; nullptr: the controller link.
    void setRecorderChannel(PacketChannel* channel) { recorderChannel_ = channel; }
    // True from a tick until its measurement is shown and written, and the workbook it filled saved.
    bool measuring() const { return measuring_; }
    // Workbook calls posted to the workbook thread whose outcome has not been handled yet.
    int workbookCallsPending() const { return workbookCallsPending_; }
    QString LogFilePath;
    std::int32_t LogRowCount = 0;
    std::int32_t BarStep = 0;

    // A close of the window while a log runs: true when the window may go now (the log is saved or
    // given up), false when it is to close once the measurement under way has written its row or
    // the log's save has ended.
    bool settleLogBeforeClose();
    // Writes the workbooks of logs that a crash left as journals in RecordFolder (at start-up).
    void recoverJournals();
    // At start-up: refuses a RecordFolder that someone may have pointed elsewhere, else lists its
    // workbooks; true when the recorder may write there (its journals are recovered after the
    // first paint).
    bool openRecordFolder();
    bool recordFolderUsable_ = false;

    // A close of the window while an update sends image data, waits for the update disk or copies
    // to it: true when the user agrees to close all the same (asked once), or when there is no such
    // update (main_form_job_guard.cpp).
    bool confirmCloseDuringUpdate();
    // A close once the firmware is being copied onto the update disk waits for the job's end (it
    // goes on to it), which then shows; true when the close is to wait. jobEndShown closes then.
    bool closeWaitsForJobEnd();
    void jobEndShown();

private:
    // Asked for while a measurement or a save was under way, done once neither is; no measurement
    // starts while one waits.
    struct DeferredRequests {
        bool close = false;  // the window was closed: kept until it goes
        int presses = 0;     // the start/stop button's presses not acted on yet
    };
    void connectRecorder();
    bool logRunning() const;
    QString newLogFilePath() const;
    void startLog();
    void stopLog();
    void rotateLog();
    void measurementDone(int arrayCount, const Measurement& measurement);
    void showAndWriteMeasurement(int arrayCount, const Measurement& measurement);
    void onWorkbookThread(WorkbookThread::Calls calls, WorkbookThread::Done done);
    void openLogWorkbook(const std::vector<LogCell>& firstCells);
    void writeLogCells(const std::vector<LogCell>& cells);
    void keepInJournal(const std::vector<LogCell>& cells);
    void workbookStoppedTakingRows(const std::exception_ptr& failure);
    void settleJournalAfterSave();
    void removeJournal();
    void saveLogWorkbook(const QString& path);
    void logWorkbookSaved(const QString& path, const std::exception_ptr& failure);
    void endLogSave();
    void rotatedWorkbookSaved(const std::exception_ptr& failure);
    void startLogTimers();
    void startOrStopLog();
    void actOnDeferredRequests();
    void closeAsAsked();
    void pressAsAsked();
    PacketChannel* recorderChannel_ = nullptr;
    bool logToWorkbook_ = false;  // LogExcel_check as the log started
    bool measuring_ = false;      // a measurement is under way: its row is not written yet
    MeasurementThread measurementThread_;
    LocalDateTime measurementTime_;  // when the measurement under way was asked for
    DeferredRequests deferred_;
    bool rotationFailureShown_ = false;
    LogJournal journal_;
    bool journalFailureShown_ = false;  // the journal's failure was told for this workbook
    bool workbookLostRows_ = false;     // a row of this workbook was refused: its journal outlives its save
    int rowsWhileOpening_ = 0;          // rows measured since this workbook was asked to open
    QSet<QString> recoveryTargets_;     // workbooks being written out from journals, taken for new logs too
    int logNumber_ = 0;               // counts the logs started, so that late news of an earlier one is known
    bool savingLog_ = false;          // a stopped log's save is under way, its prompts included
    QTimer* closeDeadline_ = nullptr;  // how long a close waits for a save before the window goes anyway
    bool closeWithoutSave_ = false;   // that wait ran out: the journal keeps the rows for the next start
    int workbookCallsPending_ = 0;
    WorkbookThread workbookThread_;

public:
    // Shared values.
    QString appFolder;
    QString RecordFolder;
    std::vector<DeviceModel> DeviceModelTable;
    int currentModel = 0;
    std::string currentVidPid;
    QString firmwarePath;
    QString imagePath;
    bool is64BitWindows = false;
    std::int64_t startTick = 0;

    // Device jobs and the engineering page (main_form_jobs.cpp). Tests shorten the jobs' fixed
    // waits with jobWaitHook (return false to abandon the job); empty, the waits are real.
    void Select_FW_BtnClick();
    void Sel_ImageBin_BtnClick();
    void ClearMsgBtnClick();
    void EraseBtnClick();
    void Reset_DevBtnClick();
    void toggleServiceView();  // Ctrl+Shift+E: the window grows to show the engineering panel
    bool inServiceView() const { return serviceView_; }
    // "Copy Report" and Ctrl+Shift+C (main_form_report.cpp): the support report on the clipboard
    // and in Record/.
    void copySupportReport();
    bool supportReportPending() const { return reportThread_ != nullptr; }
    std::function<bool(int ms)> jobWaitHook;
    // How the look for a stranded update's disk surveys the drives from now on (tests: a drive that
    // does not answer); the survey runs off the window's thread either way.
    void setDriveSurvey(BackgroundDriveSurvey::Survey survey) { driveSurvey_.setSurvey(std::move(survey)); }
    friend class FormUpdateScreen;
    friend class FormEngineeringPage;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;  // the first paint lets start-up finish

private:
    void buildUpdateScreen();
    void buildEngineeringPanel();
    void buildUpdatePage(QWidget* page);
    void buildRecorderPage(QWidget* page);
    void applyPageSettings(const std::string& content);
    void appendMessage(const QString& line, int target);
    void listLogFolder(const QString& folder, const QString& prefix);
    void hoverButton(bool entering, bool ruleOutFailedState);
    void clickButton();
    bool buttonIsQuiet(bool ruleOutFailedState) const;
    void clearProgressAndResultLines();
    // Tells assistive technology the screen as it is now: the big button named by its caption and
    // described by the screen's line.
    void tellScreen();
    QString screenLine() const;
    QString imagePathOf(const char* relativeName) const;
    QString dataFilePath(const QString& name) const;
    void launchUpdateThread(platform::ControllerClaim claim);
    bool detectWithoutOverlap();

    // Start-up's steps that change nothing the first paint shows, run right after it: the recorder's
    // journals and log list, the history's kept rows and the jobs that died.
    void finishStartup();
    bool startupAborted_ = false;
    bool startupToFinish_ = false;  // FormCreate got as far as the steps that finishStartup runs
    bool startupFinished_ = false;
    bool detecting_ = false;  // a detection runs
    bool redetect_ = false;   // an event came while it ran

    // Update screen, bottom to top.
    TImageEx* BKImg = nullptr;
    TImageEx* CompleteImg = nullptr;
    QLabel* CompleteLabel = nullptr;
    TImageEx* ErrorImg = nullptr;
    QLabel* ErrorLabel = nullptr;
    QLabel* FWLABEL = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* OpDevName = nullptr;
    TImageEx* ProgressBarImg = nullptr;
    TImageEx* StartBtnImg = nullptr;
    QLabel* UpBtnLabel = nullptr;
    QLabel* UpdateHint = nullptr;
    TImageEx* WarIcon = nullptr;
    QWidget* ProgressBarValue = nullptr;
    QTimer* RunTimer = nullptr;
    QPlainTextEdit* System_Memo = nullptr;

    // Engineering panel, on the strip that the service view brings into sight.
    QScrollArea* ServiceStrip = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QPushButton* Select_FW_Btn = nullptr;
    QLabel* HexPathShow = nullptr;
    QPushButton* Start_Update_Btn = nullptr;
    QLabel* RunTimeShow = nullptr;
    QPushButton* Sel_ImageBin_Btn = nullptr;
    QLabel* BinPathShow = nullptr;
    QPlainTextEdit* FWUpdate_Memo = nullptr;
    QPushButton* EraseBtn = nullptr;
    QPushButton* Dump_MemBtn = nullptr;
    QPushButton* Reset_DevBtn = nullptr;
    QPushButton* ClearMsgBtn = nullptr;
    QPushButton* CopyReportBtn = nullptr;
    TImageEx* ImageEx1 = nullptr;

    // Recorder page.
    QPushButton* Temp_Start_Btn = nullptr;
    QComboBox* TimeIn = nullptr;
    QComboBox* TimeAT = nullptr;
    QLabel* LogPath_Show = nullptr;
    QListWidget* LogList = nullptr;
    QCheckBox* LogTxt_check = nullptr;
    QCheckBox* LogExcel_check = nullptr;
    QLabel* Array1Temp_Show = nullptr;
    QLabel* Array2Temp_Label = nullptr;
    QLabel* Array2Temp_Show = nullptr;
    QLabel* AmbientTemp_Show = nullptr;
    std::vector<QLabel*> CHShow;
    QLabel* fansp = nullptr;
    QProgressBar* Temp_ProgressBar = nullptr;
    QTimer* Temp_Timer = nullptr;
    QTimer* TempBarTimer = nullptr;

    platform::HidWatcher* deviceWatcher_ = nullptr;
    std::unique_ptr<UpdateThread> updateThread;
    std::unique_ptr<EraseThread> eraseThread;
    std::unique_ptr<ResetThread> resetThread;
    void connectJobButtons();

    // The update history (main_form_history.cpp): a row per device job, the rows of jobs whose
    // program died, and the offer to finish an update left in a controller's bootloader.
    void recoverUpdateHistory();
    void appendKeptHistoryRows();
    std::vector<UpdateHistory::Stranded> recordDeadJobs();
    void offerToFinishStrandedUpdate();
    bool offerToFinish(const UpdateHistory::Stranded& stranded, const DriveSurvey& drives);
    HistoryEntry historyEntryFor(const std::string& job) const;
    std::unique_ptr<EngineeringPage> recordingPage(const std::string& job);
    std::unique_ptr<UpdateScreen> recordingUpdateScreen();
    std::unique_ptr<UpdateHistory> history_;
    QTimer* strandedCheck_ = nullptr;
    BackgroundDriveSurvey driveSurvey_;
    QSet<QString> strandedDeclined_;  // the user said No to these: asked again at the next start
    bool askingToFinish_ = false;
    // The controller claimed for a job, the computer kept awake and the session's end held for the
    // job's length, and the close that asks.
    void guardJobs();
    platform::ControllerClaim claimController(const std::string& port, const std::string& path, bool tellRefusal = true);
    void holdDuring(QThread& job, platform::ControllerClaim claim);  // before the job's thread starts
    bool closeWouldStrandController() const;
    platform::ControllerClaim jobClaim_;
    std::unique_ptr<platform::KeepAwake> keepAwake_;
    int awakeHolds_ = 0;             // counts the holds made, so that a late release is known
    bool sleepNoticeShown_ = false;  // the log has said that the PC may sleep
    bool closeConfirmed_ = false;    // the user agreed to close during an update
    bool closeAfterJob_ = false;     // a close waits for the update's end
    void connectSupportReport();
    SupportFacts supportFacts(const QDateTime& now) const;  // all but the drives and files, gathered apart
    struct ReportFileList {
        std::vector<QString> paths;   // as the report lists them
        std::vector<QString> picked;  // the files an update would send
    };
    ReportFileList reportFileList() const;
    void saveSupportReport(const SupportFacts& facts, const QDateTime& now);
    QThread* reportThread_ = nullptr;     // hashes the report's files; waited for when the window goes
    std::atomic<bool> reportStop_{false};
    QString chooseFile(const QStringList& filters);
    bool serviceView_ = false;
    std::vector<QWidget*> serviceHidden_;  // the controls the service view showed, to hide again
    QPoint deliveredPos_;                  // where the window was before the service view moved it
};
