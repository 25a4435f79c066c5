// The backends behind drives.h; chosen per call by drives_select.cpp.
#pragma once

#include "platform/drives/drives.h"

namespace platform::vbus {
std::vector<std::string> listDrives(const std::string& busDir);
std::vector<DriveDescription> describeDrives(const std::string& busDir);
std::string pathOnDrive(const std::string& busDir, const std::string& drive, const std::string& fileName);
std::string drivePort(const std::string& busDir, const std::string& drive);
std::string driveUsbIdentity(const std::string& busDir, const std::string& drive);
std::unique_ptr<StopTool> placeStopTool(const std::string& busDir);
std::optional<std::string> stopDriveByRequest(const std::string& busDir, const std::string& drive, int timeoutMs);
}  // namespace platform::vbus

namespace platform::native {
std::string reachUsbDisks(const std::string& port, const UsbDiskWanted& wanted);
std::vector<std::string> listDrives();
std::vector<DriveDescription> describeDrives();
std::vector<DriveDescription> describeUsbDisks();
std::string pathOnDrive(const std::string& drive, const std::string& fileName);
std::string drivePort(const std::string& drive);
std::string driveUsbIdentity(const std::string& drive);
std::string driveLabel(const std::string& drive);
std::unique_ptr<StopTool> placeStopTool(OsError& error);
std::optional<std::string> stopDriveThroughSystem(const std::string& drive, int timeoutMs);
}  // namespace platform::native
