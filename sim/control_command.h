// The commands of the control socket, one per line: plug NAME, unplug NAME, set NAME key=value, quit.
#pragma once

#include <string>
#include <string_view>

namespace sim {

struct ControlCommand {
    enum class Verb { Plug, Unplug, Set, Quit };
    Verb verb = Verb::Quit;
    std::string device;
    std::string key;    // set only
    std::string value;  // set only
};

// Throws ConfigError with the reason for an unknown or malformed command.
ControlCommand parseControlCommand(std::string_view line);

}  // namespace sim
