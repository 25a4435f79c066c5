#include "drive_folder.h"

#include "bus_file.h"

#include <cstdio>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace sim {
namespace fs = std::filesystem;

namespace {

fs::path driveFolder(const fs::path& drivesDir, char letter) { return drivesDir / std::string(1, letter); }
fs::path portFile(const fs::path& drivesDir, char letter) { return drivesDir / (std::string(1, letter) + ".port"); }
fs::path identityFile(const fs::path& drivesDir, char letter) { return drivesDir / (std::string(1, letter) + ".usb"); }

// A file of the drive's with text, or none (one left by someone else is not this drive's).
void writeOrRemove(const fs::path& file, const std::string& text) {
    if (text.empty()) {
        std::error_code ignored;
        fs::remove(file, ignored);
    } else {
        writeBusFile(file, text + '\n');
    }
}

}  // namespace

char pickDriveLetter(const fs::path& drivesDir, char preferred, const std::string& what) {
    if (preferred != 0) {
        if (fs::exists(driveFolder(drivesDir, preferred)))
            throw std::runtime_error(std::string("drive ") + preferred + ": is taken already");
        return preferred;
    }
    for (char candidate = 'F'; candidate <= 'Z'; ++candidate)
        if (!fs::exists(driveFolder(drivesDir, candidate))) return candidate;
    throw std::runtime_error("no drive letter from F to Z is free for " + what);
}

fs::path drivesTemporaryName(const fs::path& drivesDir, const std::string& tag) {
    return drivesDir / ("." + tag + "." + std::to_string(::getpid()) + ".tmp");
}

std::string usbIdentityText(std::uint16_t vendorId, std::uint16_t productId, const std::string& serial) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X\\", vendorId, productId);
    return ids + (serial.empty() ? std::string("-") : serial);
}

void bringDriveIn(const fs::path& drivesDir, const fs::path& filled, char letter, const std::string& port,
                  const std::string& identity) {
    try {
        writeOrRemove(portFile(drivesDir, letter), port);
        writeOrRemove(identityFile(drivesDir, letter), identity);
        fs::rename(filled, driveFolder(drivesDir, letter));
    } catch (...) {
        std::error_code ignored;
        fs::remove(portFile(drivesDir, letter), ignored);
        fs::remove(identityFile(drivesDir, letter), ignored);
        throw;
    }
}

void takeDriveOut(const fs::path& drivesDir, char letter, const fs::path& away) {
    std::error_code ec;
    fs::rename(driveFolder(drivesDir, letter), away, ec);
    if (ec) fs::remove_all(driveFolder(drivesDir, letter), ec);
    fs::remove(portFile(drivesDir, letter), ec);
    fs::remove(identityFile(drivesDir, letter), ec);
}

}  // namespace sim
