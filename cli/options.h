// The command line of lumaro-update: what it asks for, or why it cannot be run.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

struct CommandOptions {
    bool help = false;
    bool version = false;
    std::string firmwarePath;  // empty: picked from Firmware/ beside the program
    std::string imagePath;     // the same
    bool wait = false;         // wait for a controller to be plugged in
    std::optional<int> waitSeconds;  // with wait: at most this long; none is no limit
    bool repeat = false;       // one unit after another until Ctrl+C
    bool json = false;         // one JSON object per line on standard output
    std::string finishOn;      // the drive a person names as the update disk, which lumaro-update cannot tell by itself
};

// Parses the arguments after the program's name. A problem comes back as the text of the error
// line, naming the argument.
std::variant<CommandOptions, std::string> parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();
