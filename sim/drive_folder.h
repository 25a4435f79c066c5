// A drive on the bus as the devices show it: a folder filled under a name the drive list never
// counts, then renamed to drives/<L>/, with drives/<L>.port (the port of the device that holds the
// drive) and drives/<L>.usb (that device's identity) in place before the folder appears and removed
// after it has gone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace sim {

// preferred when it is free (throws std::runtime_error when it is not); 0: the first free letter
// from F (throws std::runtime_error when none is). what names the drive in the message.
char pickDriveLetter(const std::filesystem::path& drivesDir, char preferred, const std::string& what);

// A name under drives/ that the drive list never counts (only single letters do) and that no other
// simulator picks: ".<tag>.<pid>.tmp".
std::filesystem::path drivesTemporaryName(const std::filesystem::path& drivesDir, const std::string& tag);

// The identity of a USB device as the bus names it, "USB\VID_1FC9&PID_0114\TSIM-ctl".
std::string usbIdentityText(std::uint16_t vendorId, std::uint16_t productId, const std::string& serial);

// Puts the filled folder on the bus as drive letter: drives/<L>.port and drives/<L>.usb first (no
// such file where port or identity is empty), then the folder renamed into place. Throws
// std::filesystem::filesystem_error, std::system_error.
void bringDriveIn(const std::filesystem::path& drivesDir, const std::filesystem::path& filled, char letter,
                  const std::string& port, const std::string& identity);

// Takes drive letter off the bus: its folder renamed to away (gone from the drive list at once; it is
// removed in place when it cannot be moved), then drives/<L>.port and drives/<L>.usb removed.
// Throws nothing.
void takeDriveOut(const std::filesystem::path& drivesDir, char letter, const std::filesystem::path& away);

}  // namespace sim
