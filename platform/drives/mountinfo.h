// Reading the kernel's table of mounted volumes (/proc/self/mountinfo).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
    std::string mountPoint;  // with the kernel's octal escapes (\040 for a blank) decoded
    std::string source;      // e.g. /dev/sdb1
    std::string majorMinor;  // the device numbers of the files on it, e.g. 8:17 for /dev/sdb1
};

// The entries of a mountinfo text, in its order; lines that do not have the mountinfo form are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

}  // namespace platform
