// The update disk that a controller's bootloader shows: drives/<L>/ on the bus, holding the
// firmware the controller runs as "firmware.bin", with drives/<L>.port naming the controller's port.
// Stopping it takes "Upfirmware.bin" as the new firmware. The disk keeps the firmware between
// showings, as the controller's flash does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace sim {

// The update disk as its controller shows it, whatever carries it: a folder of the virtual bus
// (UpdateDisk) or a USB mass-storage gadget in a Linux kernel (UsbUpdateDisk, usb_gadget.h).
class DiskSide {
public:
    virtual ~DiskSide() = default;
    virtual const std::string& firmware() const = 0;
    virtual bool shown() const = 0;
    // What the events call it: "F:" on the bus, "usb" for a gadget.
    virtual std::string label() const = 0;
    // The bus's drive letter while shown; nothing for a gadget.
    virtual std::optional<char> letter() const = 0;
    virtual void show(bool refusing, const std::string& port) = 0;
    virtual bool remove(bool takeFirmware) = 0;
    // True once the host has stopped the shown disk by itself (a gadget: its USB device left the
    // host's bus); a bus disk is stopped through the stop tool instead.
    virtual bool stoppedByHost() { return false; }
};

class UpdateDisk final : public DiskSide {
public:
    // preferredLetter 0: the first free letter from F. identity: its USB device's (drives/<L>.usb),
    // empty for none.
    UpdateDisk(std::filesystem::path drivesDir, char preferredLetter, std::string firmware, std::string identity);
    ~UpdateDisk() override;  // takes a disk still shown off the bus
    UpdateDisk(const UpdateDisk&) = delete;
    UpdateDisk& operator=(const UpdateDisk&) = delete;

    const std::string& firmware() const override { return firmware_; }
    std::optional<char> letter() const override { return letter_; }  // while shown
    bool shown() const override { return letter_.has_value(); }
    std::string label() const override { return letter_ ? std::string(1, *letter_) + ":" : std::string(); }

    // Shows the disk with its firmware.bin, all at once (written under a temporary name, then
    // renamed), on port (drives/<L>.port, written before the folder appears; none when empty). A
    // refusing disk cannot take "Upfirmware.bin": a folder of that name is in the way. Throws
    // std::runtime_error when no letter is free, std::filesystem::filesystem_error on I/O.
    void show(bool refusing, const std::string& port) override;

    // Takes the disk off the bus, its port file after its folder. With takeFirmware, a regular
    // "Upfirmware.bin" on it becomes the firmware; returns whether it did.
    bool remove(bool takeFirmware) override;

private:
    std::filesystem::path drivesDir_;
    char preferredLetter_;
    std::string firmware_;
    std::string identity_;
    std::optional<char> letter_;
};

}  // namespace sim
