// The steps a device job goes through, as the update history names the one where a job ended.
#pragma once

#include <optional>
#include <string_view>

enum class JobStep {
    None,  // nothing was sent to the device yet (the files were refused, or the job only began)
    Erase,
    ImageData,
    BootloaderSwitch,
    WaitingForDisk,
    Copy,
    StopDisk,
    LibraryCall,
    FinishedAfterInterruption,
    CameBackByItself,  // a stranded update's controller showed up in its application unfinished
};

std::string_view jobStepName(JobStep step);
std::optional<JobStep> jobStepFromName(std::string_view name);

// An update that ended in one of these steps left the controller in its bootloader, showing its
// update disk, until the firmware is put on the disk and the disk is stopped.
bool leavesControllerInBootloader(JobStep step);
