// Linux: the drives are the mount points of mounted volumes on removable disks; udisks2 stops them.
// A drive's USB port is found in sysfs from the numbers of its block device. A FAT volume on a
// removable USB disk that nobody has mounted is mounted through udisks2 when the drives are listed,
// as a desktop's automounter would: without one (a bare window manager, a line's kiosk, a text
// console) the controller's update disk would otherwise never become a drive.
#include "platform/drives/drives_backends.h"
#include "platform/core/usb_port.h"
#include "platform/drives/mountinfo.h"
#include "platform/process/process.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform::native {
namespace {

namespace fs = std::filesystem;

std::vector<MountEntry> mountedVolumes() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return parseMountInfo(text.str());
}

// The whole disk a block device belongs to: sdb for /dev/sdb1, sdb for /dev/sdb. Empty when the
// source is not a block device.
std::string diskOf(const std::string& source) {
    if (source.rfind("/dev/", 0) != 0) return "";
    std::error_code ec;
    const std::string name = fs::canonical(source, ec).filename().string();
    if (ec) return "";
    const fs::path node = fs::canonical(fs::path("/sys/class/block") / name, ec);
    if (ec) return "";
    return fs::exists(node / "partition", ec) ? node.parent_path().filename().string() : name;
}

// The numbers of the mounted block device ("8:17"): those of the source where it is a block device,
// else those the mount table gives (a file system over several devices names none of them there).
std::string blockNumbersOf(const MountEntry& mount) {
    struct stat status {};
    if (mount.source.rfind("/dev/", 0) == 0 && ::stat(mount.source.c_str(), &status) == 0 && S_ISBLK(status.st_mode))
        return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    return mount.majorMinor;
}

// The volume seen on a mount point: the last one mounted there.
std::optional<MountEntry> volumeSeenAt(const std::string& mountPoint) {
    const auto volumes = mountedVolumes();
    const auto mount = std::find_if(volumes.rbegin(), volumes.rend(),
                                    [&](const MountEntry& entry) { return entry.mountPoint == mountPoint; });
    if (mount == volumes.rend()) return std::nullopt;
    return *mount;
}

bool isRemovable(const std::string& disk) {
    std::ifstream flag("/sys/block/" + disk + "/removable");
    char value = '0';
    flag >> value;
    return value == '1';
}

// Nothing when the step succeeded, else what failed.
std::optional<std::string> udisksctl(const std::string& action, const std::string& blockDevice, int timeoutMs) {
    const ProcessResult run = runProcess({"udisksctl", action, "--no-user-interaction", "-b", blockDevice}, timeoutMs);
    if (run.status == ProcessResult::Status::Exited && run.exitCode == 0) return std::nullopt;
    if (run.status == ProcessResult::Status::NotStarted && run.error == kErrorFileNotFound)
        return "udisksctl is not installed";
    return "udisksctl " + action + " " + describe(run, timeoutMs);
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// What udev knows of a block device ("8:16"): its properties' lines, E:KEY=VALUE.
bool udevSays(const std::string& majorMinor, const std::string& property) {
    std::ifstream in("/run/udev/data/b" + majorMinor);
    for (std::string line; std::getline(in, line);)
        if (line == "E:" + property) return true;
    return false;
}

// Mounts, through udisks2, each FAT volume of a removable USB disk that is not mounted yet; each
// block device once while it is there (a refused mount is not asked again every second). True
// when it asked for a mount.
bool mountUnmountedUsbVolumes(const std::vector<MountEntry>& mounted) {
    static std::mutex lock;
    static std::set<std::string> asked;  // device numbers
    const std::lock_guard<std::mutex> guard(lock);
    std::set<std::string> present;
    bool mounting = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/block", ec)) {
        const std::string name = entry.path().filename().string();
        const std::string numbers = firstLine(entry.path() / "dev");
        if (numbers.empty()) continue;
        present.insert(numbers);
        if (asked.count(numbers) != 0) continue;
        const std::string disk = diskOf("/dev/" + name);
        if (disk.empty() || !isRemovable(disk) || firstLine(entry.path() / "size") == "0") continue;
        if (!udevSays(numbers, "ID_FS_TYPE=vfat") || udevSays(numbers, "UDISKS_IGNORE=1")) continue;
        if (blockDevicePort("/sys", numbers).empty()) continue;  // not on USB
        const bool isMounted = std::any_of(mounted.begin(), mounted.end(),
                                           [&](const MountEntry& mount) { return blockNumbersOf(mount) == numbers; });
        asked.insert(numbers);
        if (isMounted) continue;
        udisksctl("mount", "/dev/" + name, 10000);
        mounting = true;
    }
    for (auto it = asked.begin(); it != asked.end();) it = present.count(*it) != 0 ? std::next(it) : asked.erase(it);
    return mounting;
}

}  // namespace

std::vector<std::string> listDrives() {
    std::vector<std::string> drives;
    std::vector<MountEntry> mounts = mountedVolumes();
    if (mountUnmountedUsbVolumes(mounts)) mounts = mountedVolumes();
    for (const MountEntry& mount : mounts) {
        const std::string disk = diskOf(mount.source);
        if (disk.empty() || !isRemovable(disk)) continue;
        if (std::find(drives.begin(), drives.end(), mount.mountPoint) == drives.end()) drives.push_back(mount.mountPoint);
    }
    std::sort(drives.begin(), drives.end());
    return drives;
}

std::vector<DriveDescription> describeDrives() {
    std::vector<DriveDescription> drives;
    for (const MountEntry& mount : mountedVolumes()) {
        const std::string disk = diskOf(mount.source);
        if (disk.empty()) continue;
        const bool listed = std::any_of(drives.begin(), drives.end(),
                                        [&](const DriveDescription& drive) { return drive.drive == mount.mountPoint; });
        if (!listed) drives.push_back({mount.mountPoint, isRemovable(disk) ? "removable" : "fixed"});
    }
    return drives;
}

// Shares are no block devices: none is among the drives.
std::vector<DriveDescription> describeUsbDisks() { return describeDrives(); }

std::string pathOnDrive(const std::string& drive, const std::string& fileName) {
    return (fs::path(drive) / fileName).string();
}

std::string drivePort(const std::string& drive) {
    const auto mount = volumeSeenAt(drive);
    return mount ? blockDevicePort("/sys", blockNumbersOf(*mount)) : std::string();
}

std::string driveUsbIdentity(const std::string& drive) {
    const auto mount = volumeSeenAt(drive);
    return mount ? blockDeviceUsbIdentity("/sys", blockNumbersOf(*mount)) : std::string();
}

// What udev read from the volume (ID_FS_LABEL), as desktops show it.
std::string driveLabel(const std::string& drive) {
    const auto mount = volumeSeenAt(drive);
    if (!mount) return {};
    std::ifstream in("/run/udev/data/b" + blockNumbersOf(*mount));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("E:ID_FS_LABEL=", 0) == 0) return line.substr(14);
    return {};
}

std::unique_ptr<StopTool> placeStopTool(OsError& /*error*/) { return nullptr; }

std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs) {
    const auto mount = volumeSeenAt(drive);  // the one a copy onto the drive went to
    const std::string disk = mount ? diskOf(mount->source) : "";
    if (disk.empty()) return drive + " is not a mounted volume of a disk";
    if (auto problem = udisksctl("unmount", mount->source, timeoutMs)) return problem;
    return udisksctl("power-off", "/dev/" + disk, timeoutMs);
}

}  // namespace platform::native
