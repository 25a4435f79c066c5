// Chooses, per call, between the virtual bus's drives and the operating system's.
#include "platform/drives/drives_backends.h"
#include "platform/core/utf8_path.h"
#include "platform/core/vbus_dir.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string reachUsbDisks(const std::string& port, const UsbDiskWanted& wanted) {
    return virtualBusDir() ? std::string() : native::reachUsbDisks(port, wanted);
}

std::vector<std::string> listDrives() {
    const auto bus = virtualBusDir();
    return bus ? vbus::listDrives(*bus) : native::listDrives();
}

std::vector<DriveDescription> describeDrives() {
    const auto bus = virtualBusDir();
    return bus ? vbus::describeDrives(*bus) : native::describeDrives();
}

std::vector<DriveDescription> describeUsbDisks() {
    const auto bus = virtualBusDir();
    return bus ? vbus::describeDrives(*bus) : native::describeUsbDisks();
}

std::string pathOnDrive(const std::string& drive, const std::string& fileName) {
    const auto bus = virtualBusDir();
    return bus ? vbus::pathOnDrive(*bus, drive, fileName) : native::pathOnDrive(drive, fileName);
}

std::string drivePort(const std::string& drive) {
    const auto bus = virtualBusDir();
    return bus ? vbus::drivePort(*bus, drive) : native::drivePort(drive);
}

std::string driveUsbIdentity(const std::string& drive) {
    const auto bus = virtualBusDir();
    return bus ? vbus::driveUsbIdentity(*bus, drive) : native::driveUsbIdentity(drive);
}

// The size is the file system's on every system; a bus drive is a folder and has no label.
DriveLook driveLook(const std::string& drive) {
    DriveLook look;
    std::error_code ec;
    const auto space = std::filesystem::space(utf8Path(pathOnDrive(drive, "")), ec);
    if (!ec) look.bytes = space.capacity;
    if (!virtualBusDir()) look.label = native::driveLabel(drive);
    return look;
}

std::unique_ptr<StopTool> placeStopTool(OsError& error) {
    error = kOk;
    const auto bus = virtualBusDir();
    return bus ? vbus::placeStopTool(*bus) : native::placeStopTool(error);
}

std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs) {
    const auto bus = virtualBusDir();
    return bus ? vbus::stopDriveByRequest(*bus, drive, timeoutMs) : native::stopDriveThroughSystem(drive, timeoutMs);
}

}  // namespace platform
