#include "control_command.h"

#include "device_config.h"

#include <vector>

namespace sim {

ControlCommand parseControlCommand(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < line.size();) {
        const auto start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos) break;
        const auto end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    if (words.empty()) throw ConfigError("empty command");

    ControlCommand command;
    const std::string_view verb = words[0];
    std::size_t expected = 2;
    if (verb == "plug") command.verb = ControlCommand::Verb::Plug;
    else if (verb == "unplug") command.verb = ControlCommand::Verb::Unplug;
    else if (verb == "set") command.verb = ControlCommand::Verb::Set, expected = 3;
    else if (verb == "quit") command.verb = ControlCommand::Verb::Quit, expected = 1;
    else throw ConfigError("unknown command '" + std::string(verb) + "' (plug, unplug, set, quit)");

    if (words.size() != expected) {
        static constexpr const char* kForms[] = {"plug NAME", "unplug NAME", "set NAME key=value", "quit"};
        throw ConfigError(std::string("usage: ") + kForms[static_cast<int>(command.verb)]);
    }
    if (expected >= 2) command.device = std::string(words[1]);
    if (expected == 3) {
        const auto eq = words[2].find('=');
        if (eq == std::string_view::npos) throw ConfigError("usage: set NAME key=value");
        command.key = std::string(words[2].substr(0, eq));
        command.value = std::string(words[2].substr(eq + 1));
    }
    return command;
}

}  // namespace sim
