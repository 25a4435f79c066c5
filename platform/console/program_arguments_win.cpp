#include "platform/console/program_arguments.h"
#include "platform/core/utf8_text_win.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

// The system splits its own command line by the rules that made argv.
std::vector<std::string> programArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(utf8FromUtf16(wide[i]));
    LocalFree(wide);
    return arguments;
}

}  // namespace platform
