// Linux: the drives are the mount points of mounted volumes on removable disks; udisks2 stops them.
// A drive's USB port is found in sysfs from the numbers of its block device. udisks2 also mounts the
// volumes of a controller's update disk that nobody has mounted (usb_disk_mount_rules.h), for a PC
// without a desktop's automounter.
#include "platform/drives/drives_backends.h"
#include "platform/core/usb_port.h"
#include "platform/drives/mountinfo.h"
#include "platform/drives/usb_disk_mount_rules.h"
#include "platform/process/process.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

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

std::optional<MountEntry> volumeSeenAt(const std::string& mountPoint) { return mountSeenAt(mountedVolumes(), mountPoint); }

// The mount points of the table, each once with the mount seen there, in the table's order.
std::vector<MountEntry> mountsSeen(const std::vector<MountEntry>& table) {
    std::vector<MountEntry> seen;
    std::set<std::string> looked;
    for (const MountEntry& mount : table)
        if (looked.insert(mount.mountPoint).second)
            if (auto top = mountSeenAt(table, mount.mountPoint)) seen.push_back(std::move(*top));
    return seen;
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

constexpr int kMountTryMs = 5000;  // a mount takes a normal PC well under a second

// The tries are shared by every caller (the job's disk wait, a front end's look for a stranded
// update's disk, the stop); a try runs outside the lock.
std::mutex triesLock;
MountTries tries;

// A block device's volume as the tries know it, told from a later device given the same numbers
// (the next unit's disk) by its disk's sequence number (Linux 5.15 and later; the numbers alone before).
std::string volumeKey(const std::string& numbers, const std::string& disk) {
    return numbers + "#" + (disk.empty() ? std::string() : firstLine(fs::path("/sys/block") / disk / "diskseq"));
}

// What sysfs and udev say of the block device named name with these numbers on disk, for a look at
// the disks on port: of a device elsewhere only its port, which rules it out.
BlockVolume blockVolume(const std::string& name, const std::string& numbers, const std::string& disk,
                        const std::string& port, const std::vector<MountEntry>& mounted) {
    BlockVolume volume;
    volume.port = blockDevicePort("/sys", numbers);
    if (volume.port != port) return volume;
    volume.identity = blockDeviceUsbIdentity("/sys", numbers);
    volume.onRemovableDisk = !disk.empty() && isRemovable(disk);
    volume.fat = udevSays(numbers, "ID_FS_TYPE=vfat");
    volume.leftAlone = udevSays(numbers, "UDISKS_IGNORE=1");
    volume.noMedium = firstLine(fs::path("/sys/class/block") / name / "size") == "0";
    volume.mounted = std::any_of(mounted.begin(), mounted.end(),
                                 [&](const MountEntry& mount) { return blockNumbersOf(mount) == numbers; });
    return volume;
}

}  // namespace

std::string reachUsbDisks(const std::string& port, const UsbDiskWanted& wanted) {
    if (port.empty()) return {};
    const std::vector<MountEntry> mounted = mountedVolumes();
    std::vector<std::pair<std::string, std::string>> unmounted;  // volumeKey, block device
    std::vector<std::pair<std::string, std::string>> toTry;
    {
        const std::lock_guard<std::mutex> guard(triesLock);
        const auto now = MountTries::Clock::now();
        std::set<std::string> present;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/class/block", ec)) {
            const std::string name = entry.path().filename().string();
            const std::string numbers = firstLine(entry.path() / "dev");
            if (numbers.empty()) continue;
            const std::string disk = diskOf("/dev/" + name);
            const std::string key = volumeKey(numbers, disk);
            present.insert(key);
            if (!isVolumeToMount(blockVolume(name, numbers, disk, port, mounted), port, wanted)) continue;
            unmounted.emplace_back(key, "/dev/" + name);
            if (!tries.isDue(key, now)) continue;
            tries.began(key, now);
            toTry.push_back(unmounted.back());
        }
        tries.keepOnly(present);
    }
    for (const auto& [key, device] : toTry) {
        const std::optional<std::string> problem = udisksctl("mount", device, kMountTryMs);
        const std::lock_guard<std::mutex> guard(triesLock);
        tries.ended(key, MountTries::Clock::now(), problem.value_or(""));
    }
    const std::lock_guard<std::mutex> guard(triesLock);
    std::string problems;
    for (const auto& [key, device] : unmounted)
        if (const std::string problem = tries.problem(key); !problem.empty())
            problems += (problems.empty() ? "" : "; ") + device + " could not be mounted: " + problem;
    return problems;
}

std::vector<std::string> listDrives() {
    std::vector<std::string> drives;
    for (const MountEntry& mount : mountsSeen(mountedVolumes())) {
        const std::string disk = diskOf(mount.source);
        if (!disk.empty() && isRemovable(disk)) drives.push_back(mount.mountPoint);
    }
    std::sort(drives.begin(), drives.end());
    return drives;
}

std::vector<DriveDescription> describeDrives() {
    std::vector<DriveDescription> drives;
    for (const MountEntry& mount : mountsSeen(mountedVolumes())) {
        const std::string disk = diskOf(mount.source);
        if (!disk.empty()) drives.push_back({mount.mountPoint, isRemovable(disk) ? "removable" : "fixed"});
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
    {
        const std::lock_guard<std::mutex> guard(triesLock);
        tries.stopping(volumeKey(blockNumbersOf(*mount), disk));
    }
    if (auto problem = udisksctl("unmount", mount->source, timeoutMs)) return problem;
    return udisksctl("power-off", "/dev/" + disk, timeoutMs);
}

}  // namespace platform::native
