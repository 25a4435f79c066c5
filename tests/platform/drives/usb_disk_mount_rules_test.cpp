// Which volumes the program mounts itself (only the controller's update disk on its port, never a
// stick its user left unmounted), and when a failed mount is tried again while its device stays.
#include "platform/drives/usb_disk_mount_rules.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using platform::BlockVolume;
using platform::MountTries;

TEST(UsbDiskMount, OnlyAnUnmountedFatVolumeOfAWantedRemovableDiskOnThePort) {
    const std::string ours = "USB\\VID_1FC9&PID_0114\\TSIM-ctl";
    const auto wantsOurs = [&](const std::string& identity) { return identity == ours; };
    const BlockVolume disk{"1-4", ours, true, true, false, false, false};
    const auto but = [&](auto change) {
        BlockVolume volume = disk;
        change(volume);
        return volume;
    };
    struct Case {
        const char* what;
        BlockVolume volume;
        std::string port;
        bool mounted;
    };
    const Case cases[] = {
        {"the controller's disk", disk, "1-4", true},
        {"already mounted", but([](BlockVolume& v) { v.mounted = true; }), "1-4", false},
        {"a stick on another port", but([](BlockVolume& v) { v.port = "2-1"; }), "1-4", false},
        {"a disk not on USB", but([](BlockVolume& v) { v.port.clear(); }), "", false},
        {"the controller's port not known", disk, "", false},
        {"another device on the port", but([](BlockVolume& v) { v.identity = "USB\\VID_0951&PID_1666\\S"; }), "1-4", false},
        {"a fixed disk", but([](BlockVolume& v) { v.onRemovableDisk = false; }), "1-4", false},
        {"not FAT", but([](BlockVolume& v) { v.fat = false; }), "1-4", false},
        {"left alone by udev's rules", but([](BlockVolume& v) { v.leftAlone = true; }), "1-4", false},
        {"a reader without a medium", but([](BlockVolume& v) { v.noMedium = true; }), "1-4", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isVolumeToMount(c.volume, c.port, wantsOurs), c.mounted) << c.what;
}

TEST(UsbDiskMount, AFailedMountIsTriedAgainAfterAPauseWhileTheDeviceStaysAStoppedOneNot) {
    MountTries tries;
    const MountTries::Clock::time_point t0{};
    EXPECT_TRUE(tries.isDue("8:16", t0));
    tries.began("8:16", t0);
    EXPECT_FALSE(tries.isDue("8:16", t0 + 1s)) << "a try under way is not doubled";
    EXPECT_EQ(tries.problem("8:16"), "");
    tries.ended("8:16", t0 + 100ms, "udisksctl mount exited with code 1");
    EXPECT_EQ(tries.problem("8:16"), "udisksctl mount exited with code 1");
    EXPECT_FALSE(tries.isDue("8:16", t0 + 100ms + MountTries::kLeastPause - 1ms));
    EXPECT_TRUE(tries.isDue("8:16", t0 + 100ms + MountTries::kLeastPause));

    // A try that ran out of time is followed by a pause as long.
    tries.began("8:32", t0);
    tries.ended("8:32", t0 + 5s, "udisksctl mount did not end within 5000 ms and was stopped");
    EXPECT_FALSE(tries.isDue("8:32", t0 + 9s));
    EXPECT_TRUE(tries.isDue("8:32", t0 + 10s));

    // A device that left is forgotten, unless a try of it is under way; its numbers may come back.
    tries.began("8:48", t0);
    tries.keepOnly({"8:32"});
    EXPECT_TRUE(tries.isDue("8:16", t0 + 1s));
    EXPECT_EQ(tries.problem("8:16"), "");
    EXPECT_FALSE(tries.isDue("8:48", t0 + 1s));
    tries.ended("8:48", t0 + 1s, "");
    EXPECT_EQ(tries.problem("8:48"), "");
    EXPECT_FALSE(tries.isDue("8:32", t0 + 9s));

    // A volume unmounted to stop its disk stays so until its device leaves, also after a try.
    tries.stopping("8:64");
    EXPECT_FALSE(tries.isDue("8:64", t0 + 1h));
    tries.stopping("8:32");
    tries.ended("8:32", t0 + 9s, "udisksctl mount exited with code 1");
    EXPECT_FALSE(tries.isDue("8:32", t0 + 1h));
    EXPECT_EQ(tries.problem("8:32"), "");
    tries.keepOnly({});
    EXPECT_TRUE(tries.isDue("8:64", t0 + 1h));
}

}  // namespace
