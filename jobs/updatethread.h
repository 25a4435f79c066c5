// The update job's own thread. Started by the window's button; destroying it (the window closes)
// asks a running job to stop and waits for the thread.
#pragma once

#include "job_thread.h"
#include "update_job.h"

#include "link/link_requests.h"

#include <memory>

class UpdateThread final : public JobThread {
public:
    // The job talks to the controller through link and to the window through screen. An empty wait
    // makes the job's fixed waits real ones that end early when the thread is asked to stop.
    UpdateThread(UpdateJobInput input, ControllerLink& link, std::unique_ptr<UpdateScreen> screen, JobWait wait = {});
    ~UpdateThread() override { stopAndWait(); }

    // Makes the thread, once started, only finish an update that a dead program left on
    // updateDrive (UpdateJob::FinishOnUpdateDrive) instead of running a whole one.
    void finishOn(std::string updateDrive) { finishDrive_ = std::move(updateDrive); }

protected:
    void run() override {
        if (finishDrive_.empty()) job_.RunUpdateJob();
        else job_.FinishOnUpdateDrive(finishDrive_);
    }

private:
    std::string finishDrive_;
    std::unique_ptr<UpdateScreen> screen_;
    LinkRequests link_;
    UpdateJob job_;
};
