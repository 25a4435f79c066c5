// Windows: the volumes as the volume manager knows them, beside the drive letters of the user's
// session, and the disk that holds a drive however it is named ("F:", or a volume GUID path:
// volume_name_rules.h).
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <string>
#include <vector>

namespace platform {

// The volumes on removable disks of USB devices that have no letter of their own in this session
// (none at all, or one that a mapped network drive or a subst letter takes here), by their volume
// GUID paths, in order.
std::vector<std::string> volumesWithoutOwnLetter();

// The device node of the disk that holds the volume of drive. False for a drive that is no volume
// of a disk: a letter mapped to a share, a CD drive or mounted image, a name of neither form.
bool diskOfDrive(const std::string& drive, DEVINST& disk);

// Whether drive is there: a letter with a root, or a volume the mount manager still names.
bool isDrivePresent(const std::string& drive);

// The current target of a DOS device name in this session ("F:", "Volume{...}"), e.g.
// "\Device\HarddiskVolume7"; empty when the name stands for nothing here. Asks the object manager
// only: no volume, share or medium is touched.
std::string dosDeviceTarget(const std::string& name);

// Whether the disk that holds the volume of drive is on USB, as its storage driver says
// (IOCTL_STORAGE_QUERY_PROPERTY through the volume's device, opened for no access, which mounts
// nothing and reads no medium). Only for a drive that is a volume of a disk (drive_probe_rules.h).
bool isOnUsbBus(const std::string& drive);

}  // namespace platform
