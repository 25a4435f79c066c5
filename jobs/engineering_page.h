// What the erase and reset jobs change on the window's engineering page. The jobs run on their own
// threads: an implementation carries each change out on the window's thread, in order, at once.
#pragma once

#include <string>

class EngineeringPage {
public:
    virtual ~EngineeringPage() = default;

    virtual void log(const std::string& line) = 0;  // a line of the update log
    virtual void enableEraseButton() = 0;
    virtual void enableResetButton() = 0;
};

// The board a job works on.
struct DeviceJobInput {
    std::string chipType;  // of the current model: "47J53" boards go through the bootloader library
    std::string vidPid;    // e.g. "VID_04D8&PID_003C"
};
