// The application firmware of an "LPC1764" controller. For now it takes the host's reports
// (they are recorded on the way in) and answers none of them; its requests get their answers here.
#pragma once

#include "firmware.h"

namespace sim {

class ControllerFirmware final : public Firmware {
public:
    void powerUp() override {}
    FirmwareActions handleReport(const Report&) override { return {}; }
};

}  // namespace sim
