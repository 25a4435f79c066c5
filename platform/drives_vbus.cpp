// Drives of the virtual bus: drives/<L>/ is the root of drive L:, tools/S1 and tools/S2 are the two
// builds of the stop tool.
#include "drives_backends.h"

#include <filesystem>
#include <system_error>

namespace platform::vbus {
namespace {
namespace fs = std::filesystem;
}

std::vector<std::string> listDrives(const std::string& busDir) {
    std::vector<std::string> drives;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        std::error_code ec;
        if (fs::is_directory(fs::path(busDir) / "drives" / std::string(1, letter), ec)) drives.push_back({letter, ':'});
    }
    return drives;
}

std::string pathOnDrive(const std::string& busDir, const std::string& drive, const std::string& fileName) {
    const std::string letter = drive.substr(0, drive.find(':'));
    return (fs::path(busDir) / "drives" / letter / fileName).string();
}

std::string stopToolPath(const std::string& busDir) { return (fs::absolute(busDir) / "USBDeview.exe").string(); }

OsError writeStopTool(const std::string& busDir, bool is64Bit, const std::string& toolPath) {
    const fs::path build = fs::path(busDir) / "tools" / (is64Bit ? "S2" : "S1");
    std::error_code ec;
    fs::copy_file(build, toolPath, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(toolPath, fs::perms::owner_all, fs::perm_options::add, ec);
    return ec ? fromErrno(ec.value()) : kOk;
}

}  // namespace platform::vbus
