// The reset job: restarts a "47J53" board through the bootloader library; other boards are left
// alone. Every end gives the reset button back and clears jobBusy.
#pragma once

#include "engineering_page.h"
#include "job_thread.h"

#include <atomic>
#include <memory>

void RunResetJob(const DeviceJobInput& input, EngineeringPage& page, std::atomic<bool>& busy);

class ResetThread final : public JobThread {
public:
    ResetThread(DeviceJobInput input, std::unique_ptr<EngineeringPage> page);
    ~ResetThread() override { stopAndWait(); }

protected:
    void run() override;

private:
    DeviceJobInput input_;
    std::unique_ptr<EngineeringPage> page_;
};
