#include "removedisk.h"

#include "platform/drives/drives.h"
#include "platform/process/process.h"
#include "platform/core/utf8_path.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

const std::string kOldFirmwareFile = "firmware.bin";
const std::string kNewFirmwareFile = "Upfirmware.bin";

DiskResult failure(std::string problem) { return {false, std::move(problem), {}}; }

bool holdsFile(const std::string& drive, const std::string& fileName) {
    std::error_code ec;
    return fs::is_regular_file(platform::utf8Path(platform::pathOnDrive(drive, fileName)), ec);
}


// Where the program's own tool cannot run, the system's eject does the tool's work.
DiskResult stopThroughSystemInstead(const std::string& updateDrive, const std::string& why, int timeoutMs) {
    if (const auto problem = platform::stopDriveThroughSystem(updateDrive, timeoutMs))
        return failure(why + "; stopping " + updateDrive + " through the system: " + *problem);
    return {true, {}, "The stop tool could not be used (" + why + "): " + updateDrive + " was stopped through the system"};
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(contents).str();
}

// Plain stream copy: a copy that also carries the file's mode can be refused by a FAT volume.
bool writeWholeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(platform::utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    return !out.fail();
}

bool isLetterDrive(const std::string& drive) { return drive.size() == 2 && drive[1] == ':'; }

}  // namespace

DriveList GetDriveList() { return platform::listDrives(); }

std::string formatDriveList(const DriveList& drives) {
    std::string text;
    for (const std::string& drive : drives) {
        if (!text.empty() && !isLetterDrive(drive)) text += ' ';
        text += drive;
    }
    return text;
}

DriveList newDrives(const DriveList& before, const DriveList& after) {
    DriveList remaining = after;
    for (const std::string& drive : before) {
        const auto found = std::find(remaining.begin(), remaining.end(), drive);
        if (found != remaining.end()) remaining.erase(found);
    }
    return remaining;
}

namespace {

// The port, the USB device and the files are looked up only for the drives asked about: each costs
// a walk of the system's device tree or a look at the drive.
std::vector<DriveFacts> factsOf(const std::vector<platform::DriveDescription>& described) {
    std::vector<DriveFacts> facts;
    for (const platform::DriveDescription& drive : described)
        facts.push_back({drive.drive, platform::drivePort(drive.drive), platform::driveUsbIdentity(drive.drive),
                         drive.type.starts_with("removable"), holdsFile(drive.drive, kOldFirmwareFile),
                         holdsFile(drive.drive, kNewFirmwareFile)});
    return facts;
}

}  // namespace

std::vector<DriveFacts> GetDriveFacts() { return factsOf(platform::describeUsbDisks()); }

std::vector<DriveFacts> GetDriveFacts(const DriveList& drives) {
    std::vector<platform::DriveDescription> described = platform::describeUsbDisks();
    std::erase_if(described, [&](const platform::DriveDescription& drive) {
        return std::find(drives.begin(), drives.end(), drive.drive) == drives.end();
    });
    return factsOf(described);
}

std::string describeDriveForPerson(const std::string& drive) {
    const platform::DriveLook look = platform::driveLook(drive);
    std::string text = drive + " (" + (look.label.empty() ? std::string("no label") : "label \"" + look.label + "\"");
    if (look.bytes > 0) {
        const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
        double size = static_cast<double>(look.bytes);
        int unit = 0;
        while (size >= 1024 && unit < 4) size /= 1024, ++unit;
        char shown[32];
        std::snprintf(shown, sizeof shown, unit == 0 ? "%.0f %s" : "%.1f %s", size, units[unit]);
        text += std::string(", ") + shown;
    }
    // A few names are enough to know a drive by; a stick full of photos is not listed whole.
    constexpr int kNamesShown = 8;
    std::vector<std::string> names;
    std::error_code ec;
    int more = 0;
    for (const auto& entry : fs::directory_iterator(platform::utf8Path(platform::pathOnDrive(drive, "")), ec)) {
        if (static_cast<int>(names.size()) < kNamesShown) names.push_back(platform::utf8String(entry.path().filename()));
        else ++more;
    }
    std::sort(names.begin(), names.end());
    text += "; files: ";
    if (names.empty()) text += "none";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    if (more > 0) text += " and " + std::to_string(more) + " more";
    return text + ")";
}

DiskResult Copy_Firmware(const std::string& updateDrive, const std::string& firmwarePath) {
    // The old file may well be absent; what counts is the new one.
    std::error_code ignored;
    fs::remove(platform::utf8Path(platform::pathOnDrive(updateDrive, kOldFirmwareFile)), ignored);

    const std::optional<std::string> firmware = readWholeFile(firmwarePath);
    if (!firmware) return failure("cannot read the firmware file " + firmwarePath);
    const std::string target = platform::pathOnDrive(updateDrive, kNewFirmwareFile);
    if (!writeWholeFile(target, *firmware)) return failure("cannot write " + target);
    if (readWholeFile(target) != firmware) return failure(target + " does not match " + firmwarePath + " after copying");
    return {};
}

std::optional<std::string> stopToolCommandLine(const std::string& toolPath, const std::string& drive) {
    if (toolPath.empty() || toolPath.size() > kMaxToolPath || toolPath.find('"') != std::string::npos) return std::nullopt;
    return "\"" + toolPath + "\" /stop_by_drive " + drive;
}

DiskResult stopUpdateDriveThroughSystem(const std::string& updateDrive, int timeoutMs) {
    if (const auto problem = platform::stopDriveThroughSystem(updateDrive, timeoutMs))
        return failure("stopping " + updateDrive + " through the system: " + *problem);
    return {};
}

StopResult Stop_UpdateDrive(const std::string& updateDrive, bool is64BitWindows, int timeoutMs) {
    platform::OsError placeError = platform::kOk;
    // Removed (Windows) when it goes, after the run.
    const std::unique_ptr<platform::StopTool> tool = platform::placeStopTool(placeError);
    if (placeError != platform::kOk)
        return {stopThroughSystemInstead(
            updateDrive, "cannot make a folder for the stop tool (system error " + std::to_string(placeError) + ")", timeoutMs)};
    if (!tool) return {stopUpdateDriveThroughSystem(updateDrive, timeoutMs)};
    // The tool knows drives by their letters; a volume reached by its path is the system's to stop.
    if (!isLetterDrive(updateDrive))
        return {stopThroughSystemInstead(updateDrive, "the stop tool takes drive letters only", timeoutMs)};
    const std::optional<std::string> commandLine = stopToolCommandLine(tool->path(), updateDrive);
    if (!commandLine)
        return {failure("the stop tool's path is longer than " + std::to_string(kMaxToolPath) +
                        " characters or holds a double quote: " + tool->path())};
    if (const platform::OsError error = tool->write(is64BitWindows); error != platform::kOk)
        return {stopThroughSystemInstead(
            updateDrive, "cannot write it to " + tool->path() + " (system error " + std::to_string(error) + ")", timeoutMs)};
    const platform::ProcessResult run = platform::runCommandLine(*commandLine, timeoutMs);
    if (run.status == platform::ProcessResult::Status::NotStarted)
        return {stopThroughSystemInstead(updateDrive, "it " + platform::describe(run, timeoutMs), timeoutMs)};
    // Only 0 confirms the stop: any other end may be a disk that was pulled while the tool worked.
    if (run.status == platform::ProcessResult::Status::Exited && run.exitCode == 0) return {{}, true};
    return {failure("the stop tool " + platform::describe(run, timeoutMs)), true};
}
