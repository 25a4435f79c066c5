// The USB port of a drive: drives/<L>.port on the virtual bus, and the device numbers the kernel's
// mount table gives each volume, from which a Linux drive's port is found in sysfs.
#include "platform/drives/drives.h"
#include "platform/drives/mountinfo.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using bustest::TemporaryBus;

TEST(VirtualBusDrives, EachDriveReportsThePortItsPortFileNames) {
    TemporaryBus bus;
    const fs::path drives = bus.dir() / "drives";
    for (const char* letter : {"F", "G", "H", "J"}) fs::create_directories(drives / letter);
    std::ofstream(drives / "F.port", std::ios::binary) << "1-4\n";
    std::ofstream(drives / "G.port", std::ios::binary) << "2-1.3\r\n";  // written by a Windows tool
    std::ofstream(drives / "J.port", std::ios::binary) << "";

    EXPECT_EQ(platform::listDrives(), (std::vector<std::string>{"F:", "G:", "H:", "J:"}));
    EXPECT_EQ(platform::drivePort("F:"), "1-4");
    EXPECT_EQ(platform::drivePort("G:"), "2-1.3");
    EXPECT_EQ(platform::drivePort("H:"), "");  // no port file: the port is not known
    EXPECT_EQ(platform::drivePort("J:"), "");
    EXPECT_EQ(platform::drivePort("K:"), "");  // no such drive
}

TEST(DriveMountInfo, EachVolumeCarriesTheNumbersOfItsDevice) {
    const auto entries = platform::parseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "97 22 8:17 / /media/user/LUMARO\\040UPD rw,nosuid shared:50 master:3 - vfat /dev/sdb1 rw,fmask=0022\n"
        "120 22 0:52 / /home rw,relatime shared:60 - btrfs /dev/nvme0n1p3 rw,subvol=/home\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].majorMinor, "8:1");
    EXPECT_EQ(entries[1].majorMinor, "8:17");
    EXPECT_EQ(entries[1].mountPoint, "/media/user/LUMARO UPD");
    EXPECT_EQ(entries[2].majorMinor, "0:52");  // btrfs names no device of its own here
}

}  // namespace
