// Linux: the USB port of a hidraw node or a block device, from sysfs. Each is a symbolic link into
// /sys/devices, whose folders follow the hardware from the root: the USB device's folder is an
// ancestor of every interface, HID device, SCSI host, disk and partition it carries.
#include "platform/core/usb_port.h"

#include <fstream>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

// The folder of the USB device above the device that link leads to, judged on the part of the
// resolved path below the sysfs root only: the root's own folder names (a test's temporary folder)
// take no part. Empty when no USB device is above it.
fs::path usbDeviceFolderBelow(const fs::path& sysfsRoot, const fs::path& link) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec) return {};
    const fs::path resolved = fs::canonical(link, ec);
    if (ec) return {};
    const fs::path below = resolved.lexically_relative(root);
    if (below.empty() || *below.begin() == "..") return {};
    const std::string port = usbPortOfSysfsPath(below.generic_string());
    if (port.empty()) return {};
    fs::path folder = resolved;
    while (folder.filename() != port) folder = folder.parent_path();
    return folder;
}

std::string portBelow(const fs::path& sysfsRoot, const fs::path& link) {
    return usbDeviceFolderBelow(sysfsRoot, link).filename().string();
}

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool isNumbers(std::string_view majorMinor) {
    const std::size_t colon = majorMinor.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == majorMinor.size()) return false;
    for (std::size_t i = 0; i < majorMinor.size(); ++i)
        if (i != colon && (majorMinor[i] < '0' || majorMinor[i] > '9')) return false;
    return true;
}

}  // namespace

std::string hidrawPort(const fs::path& sysfsRoot, std::string_view devicePath) {
    const std::string node = fs::path(devicePath).filename().string();
    if (node.size() <= 6 || node.compare(0, 6, "hidraw") != 0) return {};
    for (std::size_t i = 6; i < node.size(); ++i)
        if (node[i] < '0' || node[i] > '9') return {};
    return portBelow(sysfsRoot, sysfsRoot / "class" / "hidraw" / node / "device");
}

std::string blockDevicePort(const fs::path& sysfsRoot, std::string_view majorMinor) {
    if (!isNumbers(majorMinor)) return {};
    return portBelow(sysfsRoot, sysfsRoot / "dev" / "block" / std::string(majorMinor));
}

std::string blockDeviceUsbIdentity(const fs::path& sysfsRoot, std::string_view majorMinor) {
    if (!isNumbers(majorMinor)) return {};
    const fs::path device = usbDeviceFolderBelow(sysfsRoot, sysfsRoot / "dev" / "block" / std::string(majorMinor));
    if (device.empty()) return {};
    return usbIdentity(firstLineOf(device / "idVendor"), firstLineOf(device / "idProduct"), firstLineOf(device / "serial"));
}

}  // namespace platform
