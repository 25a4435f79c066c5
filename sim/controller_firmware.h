// The application firmware of an "LPC1764" controller: it answers the measurement requests, erases
// its image flash and takes the image data record by record, acknowledging each request, and on
// the bootloader-mode request hands over to its bootloader (which shows the update disk; see
// served_device.h).
#pragma once

#include "device_config.h"
#include "firmware.h"
#include "image_flash.h"

namespace sim {

class ControllerFirmware final : public Firmware {
public:
    explicit ControllerFirmware(const ControllerSettings& settings);

    void powerUp() override { transferRunning_ = false; }
    FirmwareActions handleReport(const Report& report, Clock::duration uptime) override;
    std::vector<std::uint8_t> imageData() const override { return flash_.contents(); }

private:
    Report measurementReply(std::uint8_t command, Clock::duration uptime) const;
    void imageTransfer(const std::vector<std::uint8_t>& payload, FirmwareActions& actions);
    void imageRecord(const std::vector<std::uint8_t>& payload, FirmwareActions& actions);

    ControllerSettings settings_;
    ImageFlash flash_;
    bool transferRunning_ = false;  // between a start and an end request
};

}  // namespace sim
