#include "control_command.h"

#include "device_config.h"

#include <cctype>
#include <vector>

namespace sim {
namespace {

// "F:" or "F", either case, C to Z: the drive as the stop tool is given it.
char parseDrive(std::string_view text) {
    if (text.size() == 2 && text[1] == ':') text.remove_suffix(1);
    const char letter = text.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))) : 0;
    if (letter < 'C' || letter > 'Z') throw ConfigError("'" + std::string(text) + "' is not a drive from C: to Z:");
    return letter;
}

}  // namespace

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

    struct Form {
        const char* verb;
        ControlCommand::Verb value;
        std::size_t words;
        const char* usage;
    };
    static constexpr Form kForms[] = {
        {"plug", ControlCommand::Verb::Plug, 2, "plug NAME"},
        {"unplug", ControlCommand::Verb::Unplug, 2, "unplug NAME"},
        {"set", ControlCommand::Verb::Set, 3, "set NAME key=value"},
        {"dump", ControlCommand::Verb::Dump, 3, "dump NAME PATH"},
        {"stop-drive", ControlCommand::Verb::StopDrive, 2, "stop-drive L:"},
        {"quit", ControlCommand::Verb::Quit, 1, "quit"},
    };
    const Form* form = nullptr;
    for (const Form& candidate : kForms)
        if (words[0] == candidate.verb) form = &candidate;
    if (form == nullptr)
        throw ConfigError("unknown command '" + std::string(words[0]) +
                          "' (plug, unplug, set, dump, stop-drive, quit)");
    if (words.size() != form->words) throw ConfigError(std::string("usage: ") + form->usage);

    ControlCommand command;
    command.verb = form->value;
    switch (command.verb) {
    case ControlCommand::Verb::StopDrive:
        command.drive = parseDrive(words[1]);
        break;
    case ControlCommand::Verb::Set: {
        command.device = std::string(words[1]);
        const auto eq = words[2].find('=');
        if (eq == std::string_view::npos) throw ConfigError("usage: set NAME key=value");
        command.key = std::string(words[2].substr(0, eq));
        command.value = std::string(words[2].substr(eq + 1));
        break;
    }
    case ControlCommand::Verb::Dump:
        command.device = std::string(words[1]);
        command.path = std::string(words[2]);
        break;
    case ControlCommand::Verb::Plug:
    case ControlCommand::Verb::Unplug:
        command.device = std::string(words[1]);
        break;
    case ControlCommand::Verb::Quit:
        break;
    }
    return command;
}

}  // namespace sim
