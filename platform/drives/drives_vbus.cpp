// Drives of the virtual bus: drives/<L>/ is the root of drive L:, tools/S1 and tools/S2 are the two
// builds of the stop tool. A client that cannot run them (a Windows build) asks the device side to
// stop a drive through drives/<L>.stop instead.
#include "platform/drives/drives_backends.h"
#include "platform/core/utf8_path.h"
#include "platform/core/vbus_dir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

namespace platform::vbus {
namespace {

namespace fs = std::filesystem;

constexpr auto kStopRequestPoll = std::chrono::milliseconds(20);

bool wasRefused(const fs::path& request) {
    std::ifstream in(request);
    std::string text;
    in >> text;
    return text == "refused";
}

// The bus's contract: the tool is copied to USBDeview.exe in the bus's folder and stays there.
class BusStopTool final : public StopTool {
public:
    explicit BusStopTool(const std::string& busDir)
        : tools_(fs::path(busDir) / "tools"), path_((fs::absolute(busDir) / "USBDeview.exe").string()) {}

    const std::string& path() const override { return path_; }

    OsError write(bool is64Bit) override {
        std::error_code ec;
        fs::copy_file(tools_ / (is64Bit ? "S2" : "S1"), path_, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        return ec ? fromErrno(ec.value()) : kOk;
    }

private:
    fs::path tools_;
    std::string path_;
};

}  // namespace

std::vector<std::string> listDrives(const std::string& busDir) {
    std::vector<std::string> drives;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        std::error_code ec;
        if (fs::is_directory(fs::path(busDir) / "drives" / std::string(1, letter), ec)) drives.push_back({letter, ':'});
    }
    return drives;
}

std::vector<DriveDescription> describeDrives(const std::string& busDir) {
    std::vector<DriveDescription> drives;
    for (const std::string& drive : listDrives(busDir)) drives.push_back({drive, "removable (virtual bus)"});
    return drives;
}

std::string pathOnDrive(const std::string& busDir, const std::string& drive, const std::string& fileName) {
    const std::string letter = drive.substr(0, drive.find(':'));
    return utf8String(utf8Path(busDir) / "drives" / letter / fileName);
}

// drives/<L>.port: one line, written before the drive's folder appears.
std::string drivePort(const std::string& busDir, const std::string& drive) {
    const std::string letter = drive.substr(0, drive.find(':'));
    return busFileFirstLine(utf8Path(busDir) / "drives" / (letter + ".port")).value_or("");
}

// drives/<L>.usb: one line, written with the port file.
std::string driveUsbIdentity(const std::string& busDir, const std::string& drive) {
    const std::string letter = drive.substr(0, drive.find(':'));
    return busFileFirstLine(utf8Path(busDir) / "drives" / (letter + ".usb")).value_or("");
}

std::unique_ptr<StopTool> placeStopTool(const std::string& busDir) {
    if (!kClientRunsBusTools) return nullptr;
    return std::make_unique<BusStopTool>(busDir);
}

// The device side stops the drive (its folder and then the request go away) or writes "refused"
// into the request; a request left unanswered is withdrawn when the time is up.
std::optional<std::string> stopDriveByRequest(const std::string& busDir, const std::string& drive, int timeoutMs) {
    const std::string letter = drive.substr(0, drive.find(':'));
    const fs::path driveDir = fs::path(busDir) / "drives" / letter;
    const fs::path request = fs::path(busDir) / "drives" / (letter + ".stop");
    if (!std::ofstream(request)) return "cannot write the stop request " + request.string();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::error_code ec;
    for (;;) {
        const bool requestThere = fs::exists(request, ec);
        if (!requestThere && !fs::exists(driveDir, ec)) return std::nullopt;
        if (requestThere && wasRefused(request)) {
            fs::remove(request, ec);
            return "the device side refused to stop " + drive;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            fs::remove(request, ec);
            return "the stop request for " + drive + " was not answered within " + std::to_string(timeoutMs) + " ms";
        }
        std::this_thread::sleep_for(kStopRequestPoll);
    }
}

}  // namespace platform::vbus
