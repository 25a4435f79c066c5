// The USB port a device is plugged into, as the systems name it, so that an HID interface and a drive
// of one physical device are known to be the same device. The decisions are plain functions of what
// the system reports (a sysfs path, the instance IDs of a device tree), testable anywhere; reading
// them from the system is in usb_port_linux.cpp (sysfs) and device_tree_win.cpp (configuration
// manager).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Linux: whether name is a USB device's name in sysfs: the bus number, a dash, and the port on the
// root hub followed by the port on each hub below it ("1-4", "2-1.3"). Interfaces ("1-4:1.0"), root
// hubs ("usb1") and everything else are not.
bool isUsbDeviceName(std::string_view name);

// Linux: the port of the USB device that a sysfs device path lies under: the last component of the
// (resolved) path that is a USB device's name, the path itself included, e.g. "1-2.3" for
// /sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/0003:04D8:003C.0005. Empty when no
// USB device is above it (a SATA or NVMe disk, a loop device, a Bluetooth or I2C HID device).
std::string usbPortOfSysfsPath(std::string_view resolvedPath);

// Linux: the port of the USB device above the hidraw node devicePath ("/dev/hidraw3", as hidapi
// names it), through <sysfsRoot>/class/hidraw/hidraw3/device; empty when there is none or the node
// is not a hidraw node. sysfsRoot is "/sys" but for tests.
std::string hidrawPort(const std::filesystem::path& sysfsRoot, std::string_view devicePath);

// Linux: the port of the USB device above the block device with these numbers ("8:17", as
// /proc/self/mountinfo and /sys/dev/block name it), through <sysfsRoot>/dev/block/8:17; a
// partition lies under its disk, so both give the disk's port. Empty when there is none.
std::string blockDevicePort(const std::filesystem::path& sysfsRoot, std::string_view majorMinor);

// The identity of a USB device in the form of a Windows USB device instance ID, so that every system
// names a device alike: "USB\VID_1FC9&PID_0114\0123456789", the ids as four upper-case hexadecimal
// digits, then the serial number, or "-" where the device has none. Empty when either id is not
// hexadecimal of at most four digits.
std::string usbIdentity(std::string_view vendorId, std::string_view productId, std::string_view serial);

// The model part of such an identity, "USB\VID_1FC9&PID_0114": what every unit of one model shares.
std::string usbModelIdentity(std::string_view identity);

// Linux: the identity (usbIdentity) of the USB device above the block device with these numbers,
// from the idVendor, idProduct and serial files of its folder in sysfs. Empty when there is none.
std::string blockDeviceUsbIdentity(const std::filesystem::path& sysfsRoot, std::string_view majorMinor);

// Windows: whether a device instance ID is a USB one ("USB\VID_04D8&PID_0040\LT0001234"), and
// whether it is one function of a composite USB device ("USB\VID_04D8&PID_0040&MI_01\7&2B3C&0&0001"),
// whose parent is the device itself. Case does not matter.
bool isUsbInstanceId(std::string_view instanceId);
bool isCompositeFunctionId(std::string_view instanceId);

// Windows: which of the device nodes from a node (first) up towards the root is the USB device that
// holds it: the first whose instance ID is a USB one and not one function of a composite device, so
// that every interface and every disk of one device, composite or not, finds the same node. Nothing
// when no USB device is above the node.
std::optional<std::size_t> usbDeviceNodeOf(const std::vector<std::string>& instanceIdsFromNodeUp);

}  // namespace platform
