// A "47J53" board. Its HID bootloader reports its memory layout, erases, programs and reads back
// its flash, and resets; the flash survives a reset, the state of a running write does not. The
// board answers the controller link as well (frames with 0xA9 at byte 1, where bootloader commands
// have their code), so that the utility finds, measures and erases it like any controller.
#pragma once

#include "board_flash.h"
#include "controller_firmware.h"
#include "device_config.h"
#include "firmware.h"

#include <cstdint>
#include <optional>

namespace sim {

enum BootCommand : std::uint8_t {
    BootCmdQuery = 0x02,
    BootCmdErase = 0x04,
    BootCmdProgram = 0x05,
    BootCmdProgramComplete = 0x06,
    BootCmdGetData = 0x07,
    BootCmdReset = 0x08,
};

// Data bytes that fit behind the 6-byte head of a program or read-back report.
inline constexpr int kMaxPacketData = 58;

class BoardBootloader final : public Firmware {
public:
    explicit BoardBootloader(const BoardSettings& settings, const ControllerSettings& controllerSide = {});

    void powerUp() override;
    FirmwareActions handleReport(const Report& report, Clock::duration uptime) override;
    std::vector<std::uint8_t> imageData() const override { return controllerSide_.imageData(); }

private:
    Report queryReply() const;
    void program(const Report& report, FirmwareActions& actions);
    Report readBack(const Report& report) const;

    BoardSettings settings_;
    BoardFlash flash_;
    ControllerFirmware controllerSide_;
    // Byte position where the running write continues; none when the next program packet starts
    // a new write (after power-up, an erase or a BootCmdProgramComplete).
    std::optional<std::uint64_t> writePosition_;
};

}  // namespace sim
