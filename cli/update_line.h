// A run of lumaro-update: finds a known controller (at once, or as one is plugged in), runs the
// update job on it, reports how it went, and with --repeat waits for the unit to be unplugged
// before it takes the next. A unit's controller is claimed for its job: one that another program
// (the window, another lumaro-update, of any user) is updating is never touched. Where the program keeps an update history, it records the jobs that a
// dead program left, and finishes an update left in a controller's bootloader when that
// controller's update disk is there on its recorded USB port: such a finish is a unit too. Lives on
// the event loop's thread; ends by emitting finished.
#pragma once

#include "console_report.h"
#include "line_setup.h"
#include "options.h"

#include "jobs/drive_survey.h"
#include "jobs/job_record.h"
#include "jobs/update_history.h"
#include "jobs/update_job.h"
#include "link/usb.h"
#include "platform/files/controller_claim.h"
#include "platform/machine/keep_awake.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace platform {
class HidWatcher;
}
class UpdateThread;

// After a unit that is done, the controller restarts and comes back with its new firmware. Until
// it has been seen back, or this long has passed, a controller missing from the bus is taken to be
// still on its way back rather than unplugged.
inline constexpr int kComeBackMs = 20000;

// Exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitNoController = 3;
inline constexpr int kExitClaimed = 4;  // the controller is another program's job: nothing was written to it
inline constexpr int kExitInterrupted = 130;

class UpdateLine : public QObject {
    Q_OBJECT
public:
    UpdateLine(CommandOptions options, LineSetup setup, std::string appFolder, ConsoleReport& report,
               QObject* parent = nullptr);
    ~UpdateLine() override;

    void start();
    void interrupt();  // one Ctrl+C
    // The running unit's record onto the disk now; from any thread (the system is ending the program).
    void syncRecordsNow();

signals:
    void finished(int exitCode);

private:
    enum class State { WaitingForUnit, Updating, WaitingForUnplug, Finished };

    void deviceChanged();
    std::optional<std::size_t> presentModel(const PortFilter& ports = {}) const;
    bool startUnit();
    bool startUpdate(const PortFilter& ports);
    bool startFinish();
    void recordDeadJobs();
    bool claimUnit(const std::string& model, const std::string& port, const std::string& key);
    PortFilter withOthersUnitsLeftOut(PortFilter ports) const;
    void lookAtOthersUnits();
    void runUnit(UnitFacts facts, UpdateJobInput input, HistoryEntry known, JobStep doneStep, JobRecordFiles files,
                 bool bootBoard, const std::string& finishDrive);
    void endUnitJob();
    void jobThreadEnded();
    void parkDisksOnPort(const std::string& port);
    void unparkDisksThatLeft();
    void waitForUnit();
    void unitEnded(UnitEnd end);
    void checkUnplugged();
    void finish(int exitCode);
    int codeForUnits() const { return failedUnits_ > 0 ? kExitFailed : kExitDone; }
    double unitSeconds() const { return static_cast<double>(unitClock_.nsecsElapsed()) / 1e9; }

    CommandOptions options_;
    LineSetup setup_;
    std::string appFolder_;
    std::unique_ptr<UpdateHistory> history_;  // none where the program keeps no Record folder
    ConsoleReport& report_;
    bool is64BitWindows_;
    platform::HidWatcher* watcher_ = nullptr;
    QTimer waitLimit_;
    QTimer comeBackLimit_;
    QTimer strandedLook_;  // the platform tells no drive arrivals: an update disk is looked for
    BackgroundDriveSurvey driveSurvey_;  // off the event loop: Ctrl+C and the time limits are kept
    std::set<std::string> strandedTold_;  // stranded updates this run will not finish, told once
    State state_ = State::WaitingForUnit;
    std::unique_ptr<UpdateThread> thread_;
    platform::ControllerClaim claim_;  // the running unit's controller, for its whole job
    // With --repeat: the units that another program holds, by port, with the keys of their claims.
    // Left to it, and once it has let go, held as units just done: not taken until unplugged.
    std::map<std::string, std::string> othersUnits_;
    QTimer othersLook_;  // a claim's end comes with no event of its own
    std::mutex recordingMutex_;
    RecordingUpdateScreen* recording_ = nullptr;  // the running unit's, owned by thread_
    std::unique_ptr<platform::KeepAwake> awake_;
    UnitFacts unit_;
    QElapsedTimer unitClock_;
    std::string lastError_;
    bool interruptAsked_ = false;
    bool stopAsked_ = false;  // the job was asked to stop: its thread's end tells what it did
    bool stopWaitTold_ = false;  // a Ctrl+C was told that the disk's stop is waited for
    JobStep unitStep_ = JobStep::None;
    // With --repeat: the update disks of units that failed with the disk still there (a stop that
    // was refused), not finished again until each has left the drive list and come back.
    std::set<std::string> parkedDisks_;
    // The ports of the units done or failed since the line last waited, and whether each has been
    // seen there since: a unit is unplugged once it has gone after that, or has not come back in time.
    std::map<std::string, bool> heldPorts_;
    int units_ = 0;
    int failedUnits_ = 0;
};
