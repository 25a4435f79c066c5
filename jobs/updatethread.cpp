#include "updatethread.h"

#include "link/job_busy.h"

UpdateThread::UpdateThread(UpdateJobInput input, ControllerLink& link, std::unique_ptr<UpdateScreen> screen,
                           JobWait wait)
    : JobThread("UpdateThread"),
      screen_(std::move(screen)),
      link_(link, [screen = screen_.get()](const std::string& line) { screen->log(line); }, {}),
      job_(std::move(input), link_.requests(), *screen_, jobBusy,
           wait ? std::move(wait) : JobWait([this](int ms) { return waitUnlessInterrupted(ms); })) {}
