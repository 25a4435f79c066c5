#include "drives_backends.h"
#include "vbus_dir.h"

namespace platform {

std::vector<std::string> listDrives() {
    const auto bus = virtualBusDir();
    return bus ? vbus::listDrives(*bus) : native::listDrives();
}

std::vector<DriveDescription> describeDrives() {
    const auto bus = virtualBusDir();
    return bus ? vbus::describeDrives(*bus) : native::describeDrives();
}

std::string pathOnDrive(const std::string& drive, const std::string& fileName) {
    const auto bus = virtualBusDir();
    return bus ? vbus::pathOnDrive(*bus, drive, fileName) : native::pathOnDrive(drive, fileName);
}

std::optional<std::string> stopToolPath(const std::string& appFolder) {
    const auto bus = virtualBusDir();
    return bus ? vbus::stopToolPath(*bus) : native::stopToolPath(appFolder);
}

OsError writeStopTool(bool is64Bit, const std::string& toolPath) {
    const auto bus = virtualBusDir();
    return bus ? vbus::writeStopTool(*bus, is64Bit, toolPath) : native::writeStopTool(is64Bit, toolPath);
}

std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs) {
    const auto bus = virtualBusDir();
    return bus ? vbus::stopDriveByRequest(*bus, drive, timeoutMs) : native::stopDriveThroughSystem(drive, timeoutMs);
}

}  // namespace platform
