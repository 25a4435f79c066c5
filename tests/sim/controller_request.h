// A host's controller request frame, built here from the frame layout rather than by the code under
// test: 0xFF everywhere, 00 A9 len 01 00 cmd payload checksum 5C.
#pragma once

#include "platform/hid/hid.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace simtest {

inline platform::Report controllerRequest(std::uint8_t command, const std::vector<std::uint8_t>& payload = {}) {
    platform::Report frame;
    frame.fill(0xFF);
    frame[0] = 0x00;
    frame[1] = 0xA9;
    frame[2] = static_cast<std::uint8_t>(payload.size() + 4);
    frame[3] = 0x01;
    frame[4] = 0x00;
    frame[5] = command;
    unsigned sum = frame[2] + frame[3] + frame[4] + frame[5];
    for (std::size_t i = 0; i < payload.size(); ++i) {
        frame[6 + i] = payload[i];
        sum += payload[i];
    }
    frame[6 + payload.size()] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    frame[7 + payload.size()] = 0x5C;
    return frame;
}

// A record request: index big-endian, then the 54 record bytes.
inline platform::Report recordRequest(std::uint16_t index, const std::vector<std::uint8_t>& record) {
    std::vector<std::uint8_t> payload(2 + record.size());
    payload[0] = static_cast<std::uint8_t>(index >> 8);
    payload[1] = static_cast<std::uint8_t>(index);
    std::copy(record.begin(), record.end(), payload.begin() + 2);
    return controllerRequest(0x97, payload);
}

// The acknowledgement test a host makes: the command echoed at byte 5, then 06 0D.
inline bool isAckOf(const platform::Report& reply, std::uint8_t command) {
    return reply[5] == command && reply[6] == 0x06 && reply[7] == 0x0D;
}

}  // namespace simtest
