#include "stop_tool.h"

#include <fstream>

namespace sim {
namespace fs = std::filesystem;

namespace {

constexpr const char* kBuilds[] = {"S1", "S2"};

// One word for the shell, whatever the text holds.
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::string stopToolScript(const std::string& simPath, const std::string& controlPath) {
    return "#!/bin/sh\n"
           "# The update disk's stop tool on a tessaray-sim bus: USBDeview.exe /stop_by_drive F:\n"
           "if [ \"$#\" -ne 2 ] || [ \"$1\" != /stop_by_drive ]; then\n"
           "  echo \"usage: $0 /stop_by_drive L:\" >&2\n"
           "  exit 2\n"
           "fi\n"
           "answer=$(" +
           shellQuoted(simPath) + " ctl --control " + shellQuoted(controlPath) +
           " stop-drive \"$2\" 2>&1)\n"
           "status=$?\n"
           "[ \"$status\" -eq 0 ] || echo \"$0: $answer\" >&2\n"
           "exit \"$status\"\n";
}

StopTool::StopTool(const fs::path& busDir, const std::string& controlPath) : toolsDir_(busDir / "tools") {
    const std::string script = stopToolScript(fs::read_symlink("/proc/self/exe").string(), fs::absolute(controlPath).string());
    fs::create_directories(toolsDir_);
    for (const char* build : kBuilds) {
        const fs::path staging = toolsDir_ / (std::string(build) + ".tmp");
        {
            std::ofstream out(staging, std::ios::binary | std::ios::trunc);
            out << script;
            if (!out.flush())
                throw fs::filesystem_error("cannot write the stop tool", staging,
                                           std::make_error_code(std::errc::io_error));
        }
        fs::permissions(staging, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
        fs::rename(staging, toolsDir_ / build);
    }
}

StopTool::~StopTool() {
    std::error_code ignored;
    for (const char* build : kBuilds) fs::remove(toolsDir_ / build, ignored);
    fs::remove(toolsDir_, ignored);  // only when empty
}

}  // namespace sim
