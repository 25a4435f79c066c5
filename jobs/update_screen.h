// What the update job changes on the window. The job runs on its own thread: an implementation
// carries each change out on the window's thread in the order of the calls, and returns at once.
#pragma once

#include "job_step.h"

#include <string>

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
};
