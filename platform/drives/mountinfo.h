// Reading the kernel's table of mounted volumes (/proc/self/mountinfo).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
    std::string id;          // of this mount
    std::string parentId;    // of the mount it was mounted onto
    std::string mountPoint;  // with the kernel's octal escapes (\040 for a blank) decoded
    std::string source;      // e.g. /dev/sdb1
    std::string majorMinor;  // the device numbers of the files on it, e.g. 8:17 for /dev/sdb1
};

// The entries of a mountinfo text, in its order; lines that do not have the mountinfo form are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// The mount seen at mountPoint, the one every look at a drive (its files, its port, its USB device,
// its stop) goes by: of the mounts there, one that no other mount there was mounted onto (a volume
// mounted over another hides it); of several such, the last in the table. Nothing when none is there.
std::optional<MountEntry> mountSeenAt(const std::vector<MountEntry>& table, const std::string& mountPoint);

}  // namespace platform
