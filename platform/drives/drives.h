// The drives of the machine, as the handling of the controller's update disk sees them: which are
// present, where a file in a drive's root lives, and how a drive's USB device is stopped before the
// controller restarts from it.
//
// A drive is named "F:" on Windows and on the virtual bus (LUMARO_VBUS_DIR set), and by the mount
// point of its volume on Linux. On Windows a volume of a removable USB disk that has no letter of its
// own in the user's session (none, or one the user's mapped network drive takes there: the mount
// manager hands out letters for the whole machine) is named by its volume GUID path,
// "\\?\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}\".
#pragma once

#include "platform/core/os_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Which USB devices' disks a caller wants to reach, by the device's identity (in driveUsbIdentity's
// form; empty when the system cannot tell).
using UsbDiskWanted = std::function<bool(const std::string& identity)>;

// Makes the volumes of the USB disks on port (HidInterfaceInfo::port's form) whose devices wanted
// takes reachable as drives, where the system does not do so by itself. Linux: each FAT volume of
// such a removable disk that nobody has mounted is mounted through udisks2, as a desktop's
// automounter would (a bare window manager, a line's kiosk and a text console have none); a mount
// that failed is tried again at a later call while the device stays, each try waited for at most a
// few seconds, so that no call hangs; one that stopDriveThroughSystem unmounted is not mounted again
// while its device stays. No other volume is ever mounted, and nothing when port is empty. Nothing
// on Windows (the mount manager mounts every volume as it comes) and on the virtual bus (its drives
// are folders). Returns why such a volume is still not mounted after its last try, for the log;
// empty when none failed.
std::string reachUsbDisks(const std::string& port, const UsbDiskWanted& wanted);

// The present drives in a stable order: letters C .. Z in order (Windows, virtual bus), then on
// Windows the volumes named by their GUID paths, in order; the mount points of mounted volumes on
// removable disks (Linux). Empty when none is present.
std::vector<std::string> listDrives();

// A present drive and its kind, for a report to support: every drive letter with its type as the
// system names it (Windows: "removable", "fixed", "network", "CD-ROM", "RAM disk", ...) and each
// volume named by its GUID path ("removable"); every mounted block device's mount point, "removable"
// or "fixed" (Linux); the bus's drives (virtual bus).
struct DriveDescription {
    std::string drive;
    std::string type;
};
std::vector<DriveDescription> describeDrives();

// The drives whose files and USB device the update disk's search may look at, described as
// describeDrives describes them. Never a network, CD or floppy drive: a look at a share whose server
// is gone waits for its time-out, and one at an empty drive asks the user for a disk.
// - Windows: the letters C .. Z of removable and fixed disks on USB, judged without touching a
//   volume that is none (drive_probe_rules.h), then the volumes named by their GUID paths.
// - Linux: describeDrives (mounted volumes of block devices: a share is never one).
// - Virtual bus: the bus's drives.
std::vector<DriveDescription> describeUsbDisks();

// The USB port of the device that holds drive, in the same form as HidInterfaceInfo::port, so that a
// controller's update disk is known by the port its HID interface was on. Empty when the system
// cannot tell (no USB device above the drive, or a system that does not say).
std::string drivePort(const std::string& drive);

// The identity of the USB device that holds drive, in the form of a Windows USB device instance ID
// (usbIdentity in platform/core/usb_port.h): "USB\VID_1FC9&PID_0114\<serial>", so that a
// controller's update disk is told from a stranger's stick put into the same port. Empty when the
// system cannot tell.
std::string driveUsbIdentity(const std::string& drive);

// What a person needs to know a drive by: its volume label (empty when it has none or the system
// cannot tell) and its size in bytes (0 when not known).
struct DriveLook {
    std::string label;
    std::uintmax_t bytes = 0;
};
DriveLook driveLook(const std::string& drive);

// Where the file fileName in the root of drive lives: "F:\Upfirmware.bin"; on Windows
// "\\.\Volume{...}\Upfirmware.bin" for a volume named by its GUID path (the C runtime's file status
// calls refuse a path holding a "?").
std::string pathOnDrive(const std::string& drive, const std::string& fileName);

// The program's own stop tool, written out for one run.
class StopTool {
public:
    virtual ~StopTool() = default;
    // Where the tool is written and run from.
    virtual const std::string& path() const = 0;
    // Writes the 64-bit or the 32-bit build of the tool to path(), once. Returns kOk, or the error
    // that kept it from being written (kErrorFileNotFound where the program carries no such build).
    virtual OsError write(bool is64Bit) = 0;
};

// A place for the stop tool for one run; nothing where drives are stopped without it (Linux; a
// Windows build that carries no tool, or runs on the virtual bus). error tells why a program that
// carries the tool has no place for it; kOk otherwise.
// - Windows: USBDeview.exe in a new folder of the user's temporary folder, where a normal user may
//   write (unlike the program's folder under Program Files) and nobody else may. Once written, the
//   file is held so that it cannot be changed, replaced or deleted before it has run; it is removed
//   with its folder when the StopTool goes.
// - Virtual bus: USBDeview.exe in the bus's folder; it stays there.
std::unique_ptr<StopTool> placeStopTool(OsError& error);

// Stops drive through the system's own service where the program carries no tool (Linux: udisks2
// unmounts the volume and powers its disk off; Windows: the volume is ejected and the USB device
// that holds it is ejected through the configuration manager; a Windows build on the virtual bus
// asks the device side through drives/<L>.stop), each step waited for at most timeoutMs. Nothing
// when the steps succeeded, else what failed, for the log (e.g. "udisksctl is not installed").
std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs);

}  // namespace platform
