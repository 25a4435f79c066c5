// The controller's packet format seen from the device: taking a request frame apart and building
// the reply frames the host looks for. Pure functions on 65-byte reports.
#pragma once

#include "platform/hid/hid.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

using platform::Report;

enum ControllerCommand : std::uint8_t {
    CmdGetAllChannel = 0x05,
    CmdGetTemperature = 0x0F,
    CmdGetFanSpeed = 0x24,
    CmdFlashImgDataStart = 0x96,
    CmdFlashImgData = 0x97,
    CmdEraseFlashImg = 0x98,
    CmdBootLoaderMode = 0x9A,
};

inline constexpr std::uint8_t kFrameStart = 0xA9;
inline constexpr std::uint8_t kFrameEnd = 0x5C;
inline constexpr std::size_t kMaxFramePayload = 56;

struct ControllerRequest {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> payload;
};

// A controller frame starts with 0xA9 at byte 1; bootloader commands have their code there.
inline bool isControllerFrame(const Report& report) { return report[1] == kFrameStart; }

// The request in a well-formed frame: start byte, 0x01 0x00, a length that fits, a checksum that
// makes length .. payload add up to 0 and the end byte after it. Nothing for anything else.
std::optional<ControllerRequest> parseControllerRequest(const Report& report);

// A reply frame: 0xA9, length (data bytes + 4), 0x01 0x00, command, data, checksum, end byte at
// endOffset, 0xFF to the end. The host looks for the end byte at a fixed offset per reply; when the
// data fill every byte before it there is no room for the checksum, which is then left out.
// Requires 6 + data.size() <= endOffset < report size.
Report controllerReply(std::uint8_t command, std::span<const std::uint8_t> data, std::size_t endOffset);

// The acknowledgement of command: the command echoed at byte 5, then 0x06 0x0D.
Report acknowledgement(std::uint8_t command);

}  // namespace sim
