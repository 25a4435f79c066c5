// The names of Windows volumes in the drive list: a letter only where the letter is the volume in the
// user's session (a mapped network drive or a subst letter may shadow the letter the mount manager
// gave it), else the volume GUID path; the paths and devices each name leads to. Plain data stands in
// for the system's answers: Wine can show neither a mapped drive over a volume's letter nor a USB disk.
#include "platform/drives/volume_name_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::LetterInSession;

const std::string kVolume = "\\\\?\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}\\";
const std::string kVolumeDevice = "\\Device\\HarddiskVolume7";
const std::string kShare = "\\Device\\LanmanRedirector\\;F:000000000003e5a1\\fileserver\\projects";

TEST(VolumeName, ALetterOnlyWhereItIsTheVolumeInThisSession)
{
    struct Case {
        const char* what;
        std::string volumeDevice;
        std::vector<LetterInSession> letters;
        std::string name;
    };
    const Case cases[] = {
        {"its letter is the volume here", kVolumeDevice, {{'F', kVolumeDevice}}, "F:"},
        {"the letter is a mapped network drive here", kVolumeDevice, {{'F', kShare}}, kVolume},
        {"no letter at all", kVolumeDevice, {}, kVolume},
        {"the letter names nothing in this session", kVolumeDevice, {{'F', ""}}, kVolume},
        {"a subst letter over a folder", kVolumeDevice, {{'F', "\\??\\C:\\Users\\ana\\Work"}}, kVolume},
        {"another volume's letter", kVolumeDevice, {{'F', "\\Device\\HarddiskVolume3"}}, kVolume},
        {"the first letter shadowed, the second its own", kVolumeDevice, {{'F', kShare}, {'K', kVolumeDevice}}, "K:"},
        {"two own letters: the first in letter order", kVolumeDevice, {{'M', kVolumeDevice}, {'G', kVolumeDevice}}, "G:"},
        {"letters and devices in another case", kVolumeDevice, {{'f', "\\DEVICE\\HARDDISKVOLUME7"}}, "F:"},
        {"A: and B: are not in the drive list", kVolumeDevice, {{'A', kVolumeDevice}}, kVolume},
        // The volume's own device could not be read: an unreadable letter must not count as a match.
        {"neither device known", "", {{'F', ""}}, kVolume},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::driveNameOfVolume(kVolume, c.volumeDevice, c.letters), c.name) << c.what;
}

TEST(VolumeName, NetworkRedirectorsAreToldFromLocalDevices)
{
    for (const char* network : {kShare.c_str(), "\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\nas\\photos",
                                "\\Device\\WebDavRedirector\\;W:0000000000012345\\dav.example.com\\DavWWWRoot",
                                "\\Device\\RdpDr\\;T:1\\tsclient\\C", "\\Device\\VBoxMiniRdr\\;V:\\vboxsvr\\shared",
                                "\\??\\UNC\\fileserver\\projects", "\\device\\mup\\nas\\photos"})
        EXPECT_TRUE(platform::isNetworkRedirectorTarget(network)) << network;
    for (const char* local : {kVolumeDevice.c_str(), "\\Device\\CdRom0", "\\??\\C:\\Users\\ana\\Work", "",
                              "\\Device\\Harddisk1\\DP(1)0-0+9", "\\Device\\Mupdate"})
        EXPECT_FALSE(platform::isNetworkRedirectorTarget(local)) << local;
}

TEST(VolumeName, OnlyDriveLettersOfTheVolumePathNamesCount)
{
    EXPECT_EQ(platform::driveLettersAmong({"F:\\", "C:\\Mounts\\Stick\\", "k:\\", "G:", "\\\\?\\Volume{x}\\"}),
              (std::vector<char>{'F', 'K'}));
    EXPECT_TRUE(platform::driveLettersAmong({}).empty());
}

TEST(VolumeName, EachNameLeadsToItsRootDeviceAndFiles)
{
    struct Case {
        std::string drive, root, device, dosDevice, file;
    };
    const std::string volume = "Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}";
    const Case cases[] = {
        {"F:", "F:\\", "\\\\.\\F:", "F:", "F:\\Upfirmware.bin"},
        // Files through the normalized device prefix: the C runtime's status calls refuse a "?".
        {kVolume, kVolume, "\\\\?\\" + volume, volume, "\\\\.\\" + volume + "\\Upfirmware.bin"},
        {"\\\\?\\Volume{5C1A7F02-3B9E-11EF-A1B2-806E6F6E6963}\\", "\\\\?\\Volume{5C1A7F02-3B9E-11EF-A1B2-806E6F6E6963}\\",
         "\\\\?\\Volume{5C1A7F02-3B9E-11EF-A1B2-806E6F6E6963}", "Volume{5C1A7F02-3B9E-11EF-A1B2-806E6F6E6963}",
         "\\\\.\\Volume{5C1A7F02-3B9E-11EF-A1B2-806E6F6E6963}\\Upfirmware.bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::driveRoot(c.drive), c.root) << c.drive;
        EXPECT_EQ(platform::volumeDeviceToOpen(c.drive), c.device) << c.drive;
        EXPECT_EQ(platform::dosDeviceName(c.drive), c.dosDevice) << c.drive;
        EXPECT_EQ(platform::fileOnDrive(c.drive, "Upfirmware.bin"), c.file) << c.drive;
    }
    // Not a drive the system would name (a mistyped --finish-on): no root and no device, so nothing
    // is opened for it.
    for (const char* odd : {"\\\\?\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e696}\\",
                            "\\\\?\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}",
                            "\\\\?\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e69zz}\\", "\\\\.\\F:", "FF:", "1:", ""}) {
        EXPECT_EQ(platform::driveRoot(odd), "") << odd;
        EXPECT_EQ(platform::volumeDeviceToOpen(odd), "") << odd;
        EXPECT_EQ(platform::dosDeviceName(odd), "") << odd;
    }
    EXPECT_TRUE(platform::isLetterDriveName("f:"));
}

}  // namespace
