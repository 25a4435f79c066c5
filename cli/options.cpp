#include "options.h"

#include <charconv>

namespace {

// The longest wait that is still a sensible number of milliseconds for a timer.
constexpr int kMaxWaitSeconds = 24 * 60 * 60 * 7;

std::optional<int> secondsOf(const std::string& text)
{
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0 || seconds > kMaxWaitSeconds)
        return std::nullopt;
    return seconds;
}

bool isDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::variant<CommandOptions, std::string> parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandOptions options;
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::string name = argument.substr(0, argument.find('='));
        const bool hasInlineValue = name.size() < argument.size();
        const std::string inlineValue = hasInlineValue ? argument.substr(name.size() + 1) : std::string();
        for (const std::string& earlier : seen)
            if (earlier == name) return "Error: " + name + " is given twice: give it once.";
        seen.push_back(name);

        if (name == "--firmware" || name == "--image") {
            std::string value = inlineValue;
            if (!hasInlineValue) {
                if (i + 1 >= arguments.size()) return "Error: " + name + " needs a file: give its path after it.";
                value = arguments[++i];
            }
            if (value.empty()) return "Error: " + name + " needs a file: give its path after it.";
            (name == "--firmware" ? options.firmwarePath : options.imagePath) = value;
        } else if (name == "--finish-on") {
            std::string value = inlineValue;
            if (!hasInlineValue && i + 1 < arguments.size()) value = arguments[++i];
            if (value.empty() || value.starts_with("--"))
                return "Error: --finish-on needs the update disk's drive: give it after it (F: on Windows, its mount point on Linux).";
            options.finishOn = value;
        } else if (name == "--wait") {
            options.wait = true;
            std::string value = inlineValue;
            if (!hasInlineValue && i + 1 < arguments.size() && isDigits(arguments[i + 1])) value = arguments[++i];
            if (hasInlineValue || !value.empty()) {
                options.waitSeconds = secondsOf(value);
                if (!options.waitSeconds)
                    return "Error: --wait takes a whole number of seconds from 0 to " + std::to_string(kMaxWaitSeconds) +
                           ", not \"" + value + "\".";
            }
        } else if (hasInlineValue) {
            return "Error: " + name + " takes no value: give it without \"=" + inlineValue + "\".";
        } else if (name == "--repeat") {
            options.repeat = true;
        } else if (name == "--json") {
            options.json = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            return "Error: unknown argument \"" + argument + "\": run lumaro-update --help for the options.";
        }
    }
    return options;
}

std::string usageText()
{
    return "Usage: lumaro-update [OPTION]...\n"
           "Updates the firmware and the image data of Lumaro Tessaray Controllers on USB.\n"
           "\n"
           "  (no options)      update the first known controller present, then end\n"
           "  --firmware FILE   the firmware file (default: the *_FW_* file in Firmware/ beside the program)\n"
           "  --image FILE      the image data file (default: the *_IMG_* file in Firmware/ beside the program)\n"
           "  --wait [SECONDS]  wait for a controller to be plugged in, at most SECONDS (default: no limit)\n"
           "  --repeat          update one controller after another; unplug each one when it is done;\n"
           "                    Ctrl+C between controllers ends the run, and so does --wait SECONDS\n"
           "                    without a next controller; a controller that another program is\n"
           "                    updating is left to it and taken only after it has been re-plugged\n"
           "  --json            one JSON object per line on standard output for each step and each result\n"
           "  --finish-on DRIVE\n"
           "                    DRIVE is the controller's update disk (F: on Windows, its mount point on\n"
           "                    Linux): written where lumaro-update cannot tell the disk by itself, the first\n"
           "                    time this PC meets a model's update disk, or an interrupted update's disk\n"
           "  --help            show this text\n"
           "  --version         show the program's version\n"
           "\n"
           "DevInfo.DAT, the table of known controllers, is read from the current folder, or else from\n"
           "the program's folder.\n"
           "\n"
           "Exit codes: 0 every controller done, 1 a controller failed, 2 bad files or arguments,\n"
           "3 no controller within the wait, 4 the controller is being updated by another program\n"
           "(nothing was written to it), 130 an update stopped by Ctrl+C.\n";
}
