// The stop tool that the simulator puts on the bus as tools/S1 and tools/S2: a shell script that,
// run as "USBDeview.exe /stop_by_drive F:", asks this simulator to stop drive F: and waits until
// the controller is back with its new firmware (or, for a stick's drive, until the stick is off the
// bus). It exits 0 then, and non-zero with a message on standard error when the drive is not one of
// the simulator's or the simulator does not answer.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

// The script's text: it runs simPath's "ctl" client against the control socket.
std::string stopToolScript(const std::string& simPath, const std::string& controlPath);

class StopTool {
public:
    // Writes both builds (executable, each in place at once). Throws std::filesystem::filesystem_error.
    StopTool(const std::filesystem::path& busDir, const std::string& controlPath);
    ~StopTool();  // removes them: without the simulator they could stop nothing
    StopTool(const StopTool&) = delete;
    StopTool& operator=(const StopTool&) = delete;

private:
    std::filesystem::path toolsDir_;
};

}  // namespace sim
