// What the update job changes on the window. The job runs on its own thread: an implementation
// carries each change out on the window's thread in the order of the calls, and returns at once.
#pragma once

#include "job_step.h"

#include <atomic>
#include <memory>
#include <string>

// A person's answer to a question about a drive, given once.
class DiskAnswer {
public:
    enum Value { Pending, Yes, No };
    Value value() const { return value_.load(); }
    void give(bool yes) { value_.store(yes ? Yes : No); }

private:
    std::atomic<Value> value_{Pending};
};

class UpdateScreen {
public:
    virtual ~UpdateScreen() = default;

    virtual void setProgress(int width) = 0;  // width of the progress fill in pixels, 401 is full
    virtual void log(const std::string& line) = 0;  // a line of the update log
    virtual void showFailed() = 0;
    virtual void showDone() = 0;
    virtual void setStartUpdateCaption(const std::string& caption) = 0;
    virtual void enableJobButtons() = 0;  // the engineering page's erase and reset buttons
    virtual void stopRunTimer() = 0;      // the process-time display
    // The job begins a step (for the update history); the window shows nothing of it.
    virtual void enteredStep(JobStep /*step*/) {}
    // The job checked its files' signatures (update_signatures.h's summary; for the update history).
    virtual void checkedSignatures(const std::string& /*summary*/) {}
    // The job took the drive whose USB device has this identity for its controller's update disk
    // (for the job's record: a finish writes to that device only).
    virtual void tookUpdateDisk(const std::string& /*identity*/) {}
    // Asks a person whether drive is the controller's update disk (question names it). The answer
    // comes later, from any thread; the job looks at it between its waits. Nothing where no person
    // can be asked: the drive is then not taken.
    virtual std::shared_ptr<DiskAnswer> askAboutUpdateDisk(const std::string& /*drive*/, const std::string& /*question*/) {
        return nullptr;
    }
};
