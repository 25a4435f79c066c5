// The program's command-line arguments as UTF-8, as every path travels through the program. On
// Windows main's argv is in the ANSI code page, which cannot hold every file name.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments after the program's own name: argv as it is on Linux; on Windows read from the
// system's wide command line (argv only when that cannot be read).
std::vector<std::string> programArguments(int argc, char** argv);

}  // namespace platform
