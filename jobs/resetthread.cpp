#include "resetthread.h"

#include "boot_board.h"

#include "bootloader/zerlin.h"
#include "link/job_busy.h"

void RunResetJob(const DeviceJobInput& input, EngineeringPage& page, std::atomic<bool>& busy) {
    if (input.chipType == "47J53" && handBoardToLibrary(input.vidPid, page)) {
        page.log("Start to reset device .... ");
        M47J53_Reset();  // a board that restarts leaves the bus at once; there is nothing to check
    }
    page.enableResetButton();
    busy = false;
}

ResetThread::ResetThread(DeviceJobInput input, std::unique_ptr<EngineeringPage> page)
    : JobThread("ResetThread"), input_(std::move(input)), page_(std::move(page)) {}

void ResetThread::run() { RunResetJob(input_, *page_, jobBusy); }
