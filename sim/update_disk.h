// The update disk that a controller's bootloader shows: drives/<L>/ on the bus, holding the
// firmware the controller runs as "firmware.bin", with drives/<L>.port naming the controller's port.
// Stopping it takes "Upfirmware.bin" as the new firmware. The disk keeps the firmware between
// showings, as the controller's flash does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace sim {

class UpdateDisk {
public:
    // preferredLetter 0: the first free letter from F.
    UpdateDisk(std::filesystem::path drivesDir, char preferredLetter, std::string firmware);
    ~UpdateDisk();  // takes a disk still shown off the bus
    UpdateDisk(const UpdateDisk&) = delete;
    UpdateDisk& operator=(const UpdateDisk&) = delete;

    const std::string& firmware() const { return firmware_; }
    std::optional<char> letter() const { return letter_; }  // while shown

    // Shows the disk with its firmware.bin, all at once (written under a temporary name, then
    // renamed), on port (drives/<L>.port, written before the folder appears; none when empty). A
    // refusing disk cannot take "Upfirmware.bin": a folder of that name is in the way. Throws
    // std::runtime_error when no letter is free, std::filesystem::filesystem_error on I/O.
    void show(bool refusing, const std::string& port);

    // Takes the disk off the bus, its port file after its folder. With takeFirmware, a regular
    // "Upfirmware.bin" on it becomes the firmware; returns whether it did.
    bool remove(bool takeFirmware);

private:
    std::filesystem::path drivesDir_;
    char preferredLetter_;
    std::string firmware_;
    std::optional<char> letter_;
};

}  // namespace sim
