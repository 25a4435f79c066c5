// Which Windows drive letters the update disk's search may open to ask their bus: plain data stands
// in for the system's answers, as Wine has neither a mapped drive whose server is gone nor a USB disk.
#include "platform/drives/drive_probe_rules.h"

#include <gtest/gtest.h>

namespace {

using platform::DriveType;

TEST(DriveProbe, OnlyVolumesOfRemovableAndFixedDisksAreAskedTheirBus)
{
    struct Case {
        const char* what;
        DriveType type;
        const char* dosDevice;
        bool ask;
    };
    const Case cases[] = {
        {"a USB stick", DriveType::Removable, "\\Device\\HarddiskVolume7", true},
        {"a fixed disk, maybe on USB", DriveType::Fixed, "\\Device\\HarddiskVolume3", true},
        {"a removable disk's partition in the old naming", DriveType::Removable, "\\Device\\Harddisk1\\DP(1)0-0+9", true},
        {"device names in another case", DriveType::Removable, "\\DEVICE\\HARDDISKVOLUME7", true},
        {"a mapped network drive", DriveType::Remote, "\\Device\\LanmanRedirector\\;Z:000000000003e5a1\\nas\\photos", false},
        // A share never passes for a disk, whatever type is reported for its letter.
        {"a share reported removable", DriveType::Removable, "\\Device\\Mup\\;WebDavRedirector\\;W:1\\dav\\root", false},
        {"a CD drive", DriveType::CdRom, "\\Device\\CdRom0", false},
        {"a floppy drive", DriveType::Removable, "\\Device\\Floppy0", false},
        {"a subst letter over a folder of a USB stick", DriveType::Removable, "\\??\\F:\\Work", false},
        {"a RAM disk", DriveType::RamDisk, "\\Device\\HarddiskVolume9", false},
        {"no root directory", DriveType::NoRootDir, "", false},
        {"a disk letter whose device is not known", DriveType::Removable, "", false},
        {"only the class's prefix", DriveType::Fixed, "\\Device\\Harddisk", false},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::mayAskBusOf(c.type, c.dosDevice), c.ask) << c.what;
}

}  // namespace
