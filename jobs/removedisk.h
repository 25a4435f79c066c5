// The controller's update disk: telling the new drive apart from those that were there before,
// putting the firmware file on it, and having its USB device stopped so that the controller
// restarts with the new firmware.
//
// A drive is named as the platform names it: "F:" on Windows and on the virtual bus, a mount point
// on Linux (see platform/drives.h).
#pragma once

#include <cstddef>
#include "update_disk_rule.h"

#include <optional>
#include <string>
#include <vector>

using DriveList = std::vector<std::string>;

inline constexpr std::size_t kMaxToolPath = 255;     // what the tool path's buffer has always held
inline constexpr int kStopToolTimeoutMs = 60000;     // stopping a USB disk takes a few seconds at most

// The outcome of a step on the update disk; problem says what went wrong, for the update log.
struct DiskResult {
    bool ok = true;
    std::string problem;
    std::string note;  // for the log even when it went well: how it was done when not as usual
};

// The present drives, in the platform's stable order.
DriveList GetDriveList();

// A drive list as the update log shows it: letter drives run together ("C:D:E:"), other names
// separated by a blank.
std::string formatDriveList(const DriveList& drives);

// What is left of after once each drive of before has been taken out of it (once per occurrence),
// in the order of after.
DriveList newDrives(const DriveList& before, const DriveList& after);

// The present drives that may be the update disk (platform::describeUsbDisks: never a network, CD or
// floppy drive) with their facts (update_disk_rule.h), or only those of drives.
std::vector<DriveFacts> GetDriveFacts();
std::vector<DriveFacts> GetDriveFacts(const DriveList& drives);

// A drive as a person knows it, for a question: "F: (label "TESSARAY", 512 KB; files: firmware.bin)".
std::string describeDriveForPerson(const std::string& drive);

// Deletes "firmware.bin" on the drive, copies the firmware file to "Upfirmware.bin" and reads the
// copy back to compare it with the file. Fails when the copy cannot be made or does not match.
DiskResult Copy_Firmware(const std::string& updateDrive, const std::string& firmwarePath);

// The stop tool's command line: the tool's path in double quotes, then "/stop_by_drive " and the
// drive. Nothing when the path is longer than kMaxToolPath or holds a double quote.
std::optional<std::string> stopToolCommandLine(const std::string& toolPath, const std::string& drive);

// How a stop of the update disk ended. ok means the stop was confirmed: the stop tool exited 0 (the
// simulator's tool on the virtual bus exits 0 only once the controller is back with its new
// firmware), or the system's eject said it stopped the disk (udisks powered the disk off; Windows
// ejected the volume and its USB device; the device side of the virtual bus answered the stop
// request by removing the drive). toolRan: the program's own tool ran and ended, or was ended at its
// time limit; whether it stopped the disk is for the caller to see.
struct StopResult : DiskResult {
    bool toolRan = false;
};

// Stops the update disk's USB device: writes the stop tool's 64-bit or 32-bit build (is64BitWindows)
// where the platform places it (platform::placeStopTool) and runs it with the drive, or, where the
// program carries no tool, has the system stop it; waits at most timeoutMs. A tool that cannot be
// placed, written or started (a locked-down PC's policy refuses programs from the temporary
// folder) gives way to the system's own eject, and the note says so. Fails when neither stops it,
// the tool exits with another code than 0, or does not end in time. Whether the drive then leaves
// the drive list is the caller's test.
StopResult Stop_UpdateDrive(const std::string& updateDrive, bool is64BitWindows, int timeoutMs = kStopToolTimeoutMs);

// The system's own eject of the update disk (platform::stopDriveThroughSystem), for a disk that the
// stop tool left where it was.
DiskResult stopUpdateDriveThroughSystem(const std::string& updateDrive, int timeoutMs = kStopToolTimeoutMs);
