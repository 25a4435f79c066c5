// The USB port of a HID interface or a drive: the names sysfs gives USB devices, the walk up a sysfs
// path, the same against a sysfs tree faked in a temporary folder (its symbolic links included), and
// the node of a Windows device tree whose location path names the port.
#include "platform/core/usb_port.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::blockDevicePort;
using platform::hidrawPort;
using platform::isUsbDeviceName;
using platform::usbDeviceNodeOf;
using platform::usbPortOfSysfsPath;

TEST(PlatformUsbPortName, BusDashPortThenHubPortsAreUsbDevices) {
    for (const char* name : {"1-4", "2-1.3", "10-12.1.4.2", "3-0"}) EXPECT_TRUE(isUsbDeviceName(name)) << name;
    for (const char* name : {"usb1", "1-4:1.0", "1-0:1.0", "1-", "-4", "1-4.", "1-.4", "1--4", "1-4.a", "a-4", "",
                             "0000:00:14.0", "pci0000:00", "host6", "target6:0:0", "6:0:0:0", "sdb1", "hidraw2",
                             "0003:04D8:003C.0005", " 1-4", "1-4 "})
        EXPECT_FALSE(isUsbDeviceName(name)) << name;
}

TEST(PlatformUsbPortName, TheNearestUsbDeviceAboveTheSysfsDevice) {
    // A HID interface of a device behind a hub: the device, not the hub above it nor its interface.
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/0003:04D8:003C.0005"),
              "1-2.3");
    // A partition of a USB stick's disk, through the SCSI layers.
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/"
                                 "block/sdb/sdb1"),
              "2-1");
    EXPECT_EQ(usbPortOfSysfsPath("devices/pci0000:00/0000:00:14.0/usb1/1-4"), "1-4");  // the device itself
    EXPECT_EQ(usbPortOfSysfsPath("1-4/"), "1-4");
    // No USB device above: a SATA disk, an NVMe disk, a loop device, a HID device over Bluetooth.
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2"), "");
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/pci0000:00/0000:00:1d.0/0000:03:00.0/nvme/nvme0/nvme0n1"), "");
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/virtual/block/loop0"), "");
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/virtual/misc/uhid/0005:046D:B342.0007/hidraw/hidraw4"), "");
    EXPECT_EQ(usbPortOfSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb1"), "");  // a root hub is no port
    EXPECT_EQ(usbPortOfSysfsPath(""), "");
    EXPECT_EQ(usbPortOfSysfsPath("/"), "");
}

// A sysfs tree as the kernel lays it out, in a temporary folder: the device folders under devices/,
// and the class and dev folders as symbolic links into them.
class PlatformUsbPortSysfs : public ::testing::Test {
protected:
    // A folder like the one the test stands in for is named as a USB device, so that only the part
    // below the root may count.
    PlatformUsbPortSysfs() : top_(bustest::makeTemporaryFolder("usb-port-")), root_(top_ / "1-9" / "sys") {
        fs::create_directories(root_);
    }
    ~PlatformUsbPortSysfs() override {
        std::error_code ignored;
        fs::remove_all(top_, ignored);
    }

    // devices/<device>/hidraw/hidrawN, its "device" link to <device>, and class/hidraw/hidrawN.
    void addHidraw(const std::string& device, const std::string& node) {
        const fs::path nodeDir = root_ / "devices" / device / "hidraw" / node;
        fs::create_directories(nodeDir);
        fs::create_directory_symlink("../..", nodeDir / "device");
        fs::create_directories(root_ / "class/hidraw");
        fs::create_directory_symlink(fs::path("../../devices") / device / "hidraw" / node, root_ / "class/hidraw" / node);
    }

    // devices/<device> and dev/block/<numbers> pointing to it.
    void addBlock(const std::string& device, const std::string& numbers) {
        fs::create_directories(root_ / "devices" / device);
        fs::create_directories(root_ / "dev/block");
        fs::create_directory_symlink(fs::path("../../devices") / device, root_ / "dev/block" / numbers);
    }

    fs::path top_;
    fs::path root_;
};

TEST_F(PlatformUsbPortSysfs, AHidrawNodeLiesUnderItsUsbDevice) {
    addHidraw("pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/0003:04D8:003C.0005", "hidraw2");
    addHidraw("pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.1/0003:1FC9:0003.0006", "hidraw10");
    addHidraw("virtual/misc/uhid/0005:046D:B342.0007", "hidraw3");  // Bluetooth: no USB device

    EXPECT_EQ(hidrawPort(root_, "/dev/hidraw2"), "1-2.3");
    EXPECT_EQ(hidrawPort(root_, "/dev/hidraw10"), "1-4");
    EXPECT_EQ(hidrawPort(root_, "/dev/hidraw3"), "");
    EXPECT_EQ(hidrawPort(root_, "/dev/hidraw7"), "");  // gone meanwhile
    for (const char* other : {"", "/dev/hidraw", "/dev/hidraw2x", "/dev/../hidraw2/..", "/dev/sdb1", "1-2.3"})
        EXPECT_EQ(hidrawPort(root_, other), "") << other;
}

TEST_F(PlatformUsbPortSysfs, ABlockDeviceAndItsPartitionsLieUnderTheDisksUsbDevice) {
    const std::string disk = "pci0000:00/0000:00:14.0/usb2/2-1/2-1.4/2-1.4:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    addBlock(disk, "8:16");
    addBlock(disk + "/sdb1", "8:17");
    addBlock("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2", "8:2");
    addBlock("virtual/block/loop0", "7:0");

    EXPECT_EQ(blockDevicePort(root_, "8:16"), "2-1.4");
    EXPECT_EQ(blockDevicePort(root_, "8:17"), "2-1.4");
    EXPECT_EQ(blockDevicePort(root_, "8:2"), "");
    EXPECT_EQ(blockDevicePort(root_, "7:0"), "");
    EXPECT_EQ(blockDevicePort(root_, "8:32"), "");  // no such device
    for (const char* other : {"", "8", "8:", ":17", "8:17:1", "../8:17", "8:1a"})
        EXPECT_EQ(blockDevicePort(root_, other), "") << other;

    // The disk's USB device names itself as a Windows instance ID does; no serial is "-".
    const fs::path usbDevice = root_ / "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1.4";
    std::ofstream(usbDevice / "idVendor") << "1fc9\n";
    std::ofstream(usbDevice / "idProduct") << "0114\n";
    EXPECT_EQ(platform::blockDeviceUsbIdentity(root_, "8:17"), "USB\\VID_1FC9&PID_0114\\-");
    std::ofstream(usbDevice / "serial") << "TSIM-ctl\n";
    EXPECT_EQ(platform::blockDeviceUsbIdentity(root_, "8:16"), "USB\\VID_1FC9&PID_0114\\TSIM-ctl");
    EXPECT_EQ(platform::blockDeviceUsbIdentity(root_, "8:2"), "");
    EXPECT_EQ(platform::usbModelIdentity("USB\\VID_1FC9&PID_0114\\TSIM-ctl"), "USB\\VID_1FC9&PID_0114");
    EXPECT_EQ(platform::usbIdentity("1fc9", "x114", "s"), "");
}

TEST_F(PlatformUsbPortSysfs, ALinkLeadingOutOfTheTreeOrAMissingTreeHasNoPort) {
    fs::create_directories(top_ / "1-9" / "elsewhere" / "2-3");
    fs::create_directories(root_ / "dev/block");
    fs::create_directory_symlink(top_ / "1-9" / "elsewhere" / "2-3", root_ / "dev/block/8:48");
    EXPECT_EQ(blockDevicePort(root_, "8:48"), "");
    EXPECT_EQ(hidrawPort(root_ / "nothing", "/dev/hidraw0"), "");
}

TEST(PlatformUsbPortWindowsTree, TheUsbDeviceAboveTheNodeNeverOneFunctionOfIt) {
    const std::string hidInterface = "HID\\VID_1FC9&PID_0003&MI_00\\8&2F1A3B4C&0&0000";
    const std::string function = "USB\\VID_1FC9&PID_0003&MI_00\\7&1D2C3B4A&0&0000";
    const std::string device = "USB\\VID_1FC9&PID_0003\\5&3A2B1C0D&0&3";
    const std::string hub = "USB\\VID_2109&PID_2817\\6&3A4B&0&1";
    const std::string rootHub = "USB\\ROOT_HUB30\\4&2C3D&0&0";
    const std::string controller = "PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0";

    // A composite device: its HID interface and the disk it shows later find the same node.
    EXPECT_EQ(usbDeviceNodeOf({hidInterface, function, device, hub, rootHub, controller}), 2u);
    EXPECT_EQ(usbDeviceNodeOf({"USBSTOR\\DISK&VEN_LUMARO&PROD_UPDATE&REV_1.00\\7&1F2E3D&0", device, hub}), 1u);
    // A plain HID device: the node right above the interface; case does not matter.
    EXPECT_EQ(usbDeviceNodeOf({"HID\\VID_04D8&PID_003C\\7&AB&0&0000", "usb\\vid_04d8&pid_003c\\6&cd&0&2", hub}), 1u);
    // No USB device above: a Bluetooth HID device, a SATA disk, nothing at all.
    EXPECT_EQ(usbDeviceNodeOf({"HID\\{00001124-0000-1000-8000-00805F9B34FB}_VID&0002046D\\9&1&0", "BTHENUM\\{...}\\8&2"}),
              std::nullopt);
    EXPECT_EQ(usbDeviceNodeOf({"SCSI\\DISK&VEN_&PROD_SAMSUNG\\4&1&0&000000", controller}), std::nullopt);
    EXPECT_EQ(usbDeviceNodeOf({}), std::nullopt);
    // The serial part of an ID may hold anything, "&MI_" too.
    EXPECT_EQ(usbDeviceNodeOf({"USB\\VID_04D8&PID_0040\\SERIAL&MI_01"}), 0u);
}

}  // namespace
