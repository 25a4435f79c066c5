#include "platform/drives/drive_probe_rules.h"

#include <algorithm>
#include <cctype>

namespace platform {

bool mayAskBusOf(DriveType type, std::string_view dosDevice)
{
    if (type != DriveType::Removable && type != DriveType::Fixed) return false;
    // Every volume of a disk is one of the disk class's devices; a network redirector, a floppy or a
    // folder is named otherwise, whatever type the letter reports.
    constexpr std::string_view kDiskDevice = "\\Device\\Harddisk";
    return dosDevice.size() > kDiskDevice.size() &&
           std::equal(kDiskDevice.begin(), kDiskDevice.end(), dosDevice.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace platform
