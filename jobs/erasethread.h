// The erase job: clears the controller's image flash over the link, or a "47J53" board's program
// flash through the bootloader library, and logs the result. Every end gives the erase button
// back and clears jobBusy.
#pragma once

#include "engineering_page.h"
#include "job_thread.h"

#include "link/link_requests.h"

#include <atomic>
#include <memory>

void RunEraseJob(const DeviceJobInput& input, ControllerRequests& requests, EngineeringPage& page,
                 std::atomic<bool>& busy);

class EraseThread final : public JobThread {
public:
    EraseThread(DeviceJobInput input, ControllerLink& link, std::unique_ptr<EngineeringPage> page);
    ~EraseThread() override { stopAndWait(); }

protected:
    void run() override;

private:
    DeviceJobInput input_;
    std::unique_ptr<EngineeringPage> page_;
    LinkRequests link_;
};
