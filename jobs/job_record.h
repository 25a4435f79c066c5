// The update history's side of one device job: the marker while it runs, the row when it ends.
// The recording screens wrap the screen or page a front end gives a job (the window's, or a
// command line's), so that every front end leaves the same rows; the job itself only says which
// step it is in.
#pragma once

#include "engineering_page.h"
#include "update_history.h"
#include "update_screen.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class JobRecord {
public:
    // known: the job, the device and its port, the files, the program's version and the computer's
    // name. history may be null (no history is kept). log takes the note that the history could not
    // be written, given once until a row is written again. files: the job's own files when it goes
    // on with a job already recorded (the finish of a stranded update, taken for it); else the job
    // makes its own.
    JobRecord(UpdateHistory* history, HistoryEntry known, std::function<void(const std::string&)> log,
              JobRecordFiles files = {});
    ~JobRecord();
    JobRecord(const JobRecord&) = delete;
    JobRecord& operator=(const JobRecord&) = delete;

    // The start: the files' SHA-256 and the marker. Only the first call counts; it runs on the
    // job's thread, so that the hashing keeps the window free.
    void begin();
    void enterStep(JobStep step);
    void noteError(const std::string& line);  // the first error line is the row's error text
    void noteSignatures(const std::string& summary);
    // The update disk's identity into the marker, on the disk before this returns.
    void noteDiskIdentity(const std::string& identity);
    // The row, with result "done", "failed" or "stopped"; only the first call after begin counts.
    // A done row clears this job's own records; an update that ends otherwise after the bootloader
    // switch is kept as a stranded update, for the next run of either front end to finish.
    void end(const std::string& result);
    bool errorNoted() const;
    // The marker onto the disk now, from any thread: the system is about to end the program.
    void syncMarkerNow();

private:
    void writeMarker(bool sync);

    UpdateHistory* history_;
    HistoryEntry entry_;
    std::function<void(const std::string&)> log_;
    JobRecordFiles files_;
    std::chrono::steady_clock::time_point startTime_;
    mutable std::mutex mutex_;
    bool begun_ = false;
    bool ended_ = false;
    bool markerSynced_ = false;
};

// The markers of every job running in the program onto the disk now, from any thread: the system is
// about to end the program (a front end without a record of its own at hand, as the window's).
void syncRunningJobRecordsNow();

// An update screen that records the job it shows: done and failed end the row; a job that ends
// with neither (stopped because the window closed) is recorded "stopped" when the screen goes.
// doneStep, unless None, is the step a done row names (an update finished after an interruption).
class RecordingUpdateScreen final : public UpdateScreen {
public:
    RecordingUpdateScreen(std::unique_ptr<UpdateScreen> screen, UpdateHistory* history, HistoryEntry known,
                          JobStep doneStep = JobStep::None, JobRecordFiles files = {});
    void syncMarkerNow() { record_.syncMarkerNow(); }
    ~RecordingUpdateScreen() override;

    void setProgress(int width) override;
    void log(const std::string& line) override;
    void showFailed() override;
    void showDone() override;
    void setStartUpdateCaption(const std::string& caption) override;
    void enableJobButtons() override;
    void stopRunTimer() override;
    void enteredStep(JobStep step) override;
    void tookUpdateDisk(const std::string& identity) override;
    void checkedSignatures(const std::string& summary) override;
    std::shared_ptr<DiskAnswer> askAboutUpdateDisk(const std::string& drive, const std::string& question) override;

private:
    std::unique_ptr<UpdateScreen> screen_;
    JobRecord record_;
    JobStep doneStep_;
};

// The engineering page's side for the erase and reset jobs: the job ends when it gives its button
// back, failed when it logged an error or a failure.
class RecordingEngineeringPage final : public EngineeringPage {
public:
    RecordingEngineeringPage(std::unique_ptr<EngineeringPage> page, UpdateHistory* history, HistoryEntry known);

    void log(const std::string& line) override;
    void enableEraseButton() override;
    void enableResetButton() override;

private:
    std::unique_ptr<EngineeringPage> page_;
    JobRecord record_;
};
