#include "job_step.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<JobStep, std::string_view>, 10> kStepNames{{
    {JobStep::None, ""},
    {JobStep::Erase, "erase"},
    {JobStep::ImageData, "image data"},
    {JobStep::BootloaderSwitch, "bootloader switch"},
    {JobStep::WaitingForDisk, "waiting for the disk"},
    {JobStep::Copy, "copy"},
    {JobStep::StopDisk, "stop the disk"},
    {JobStep::LibraryCall, "the library call"},
    {JobStep::FinishedAfterInterruption, "finished after an interruption"},
    {JobStep::CameBackByItself, "came back by itself"},
}};

}  // namespace

std::string_view jobStepName(JobStep step) {
    for (const auto& [known, name] : kStepNames)
        if (known == step) return name;
    return {};
}

std::optional<JobStep> jobStepFromName(std::string_view name) {
    for (const auto& [step, known] : kStepNames)
        if (known == name) return step;
    return std::nullopt;
}

bool leavesControllerInBootloader(JobStep step) {
    return step == JobStep::BootloaderSwitch || step == JobStep::WaitingForDisk || step == JobStep::Copy ||
           step == JobStep::StopDisk;
}
