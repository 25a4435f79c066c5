// The commands of the control socket, one per line: plug NAME, unplug NAME, set NAME key=value,
// dump NAME PATH, stop-drive L:, quit.
#pragma once

#include <string>
#include <string_view>

namespace sim {

struct ControlCommand {
    enum class Verb { Plug, Unplug, Set, Dump, StopDrive, Quit };
    Verb verb = Verb::Quit;
    std::string device;  // not for stop-drive and quit
    std::string key;     // set only
    std::string value;   // set only
    std::string path;    // dump only: where the image data goes
    char drive = 0;      // stop-drive only: the drive letter, upper case
};

// Throws ConfigError with the reason for an unknown or malformed command.
ControlCommand parseControlCommand(std::string_view line);

}  // namespace sim
