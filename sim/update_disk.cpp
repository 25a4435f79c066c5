#include "update_disk.h"

#include "drive_folder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace sim {
namespace fs = std::filesystem;

namespace {

constexpr const char* kFirmwareFile = "firmware.bin";
constexpr const char* kNewFirmwareFile = "Upfirmware.bin";

fs::path temporaryName(const fs::path& drivesDir, char letter) { return drivesTemporaryName(drivesDir, std::string(1, letter)); }

}  // namespace

UpdateDisk::UpdateDisk(fs::path drivesDir, char preferredLetter, std::string firmware, std::string identity)
    : drivesDir_(std::move(drivesDir)), preferredLetter_(preferredLetter), firmware_(std::move(firmware)),
      identity_(std::move(identity)) {}

UpdateDisk::~UpdateDisk() {
    try {
        remove(false);
    } catch (const std::exception&) {
        // the bus is going away with the simulator; nothing more to do
    }
}

void UpdateDisk::show(bool refusing, const std::string& port) {
    if (letter_) return;
    fs::create_directories(drivesDir_);
    const char letter = pickDriveLetter(drivesDir_, preferredLetter_, "the update disk");
    const fs::path staging = temporaryName(drivesDir_, letter);
    fs::remove_all(staging);
    fs::create_directory(staging);
    {
        std::ofstream out(staging / kFirmwareFile, std::ios::binary);
        out.write(firmware_.data(), static_cast<std::streamsize>(firmware_.size()));
        if (!out.flush()) throw std::runtime_error("cannot write firmware.bin on the update disk");
    }
    if (refusing) fs::create_directory(staging / kNewFirmwareFile);
    bringDriveIn(drivesDir_, staging, letter, port, identity_);
    letter_ = letter;
}

bool UpdateDisk::remove(bool takeFirmware) {
    if (!letter_) return false;
    const fs::path root = drivesDir_ / std::string(1, *letter_);
    bool taken = false;
    if (std::error_code ec; takeFirmware && fs::is_regular_file(root / kNewFirmwareFile, ec)) {
        std::ifstream in(root / kNewFirmwareFile, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.bad()) {
            firmware_ = std::move(bytes);
            taken = true;
        }
    }
    // Gone from the drive list at once, then emptied.
    const fs::path leaving = temporaryName(drivesDir_, *letter_);
    takeDriveOut(drivesDir_, *letter_, leaving);
    letter_.reset();
    std::error_code ec;
    fs::remove_all(leaving, ec);
    return taken;
}

}  // namespace sim
