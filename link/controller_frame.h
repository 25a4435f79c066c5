// The controller's packet format: building request frames, accepting replies and decoding their
// data. Pure functions on 65-byte reports, no I/O, so every byte the controller sees or sends can be
// checked without a device.
#pragma once

#include "platform/hid/hid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

inline constexpr std::uint8_t CmdGetAllChannel = 0x05;
inline constexpr std::uint8_t CmdGetTemperature = 0x0F;
inline constexpr std::uint8_t CmdGetFanSpeed = 0x24;
inline constexpr std::uint8_t CmdFlashImgDataStart = 0x96;
inline constexpr std::uint8_t CmdFlashImgData = 0x97;
inline constexpr std::uint8_t CmdEraseFlashImg = 0x98;
inline constexpr std::uint8_t CmdBootLoaderMode = 0x9A;

inline constexpr std::size_t kMaxPayload = 56;        // what fits between the header and the end byte
inline constexpr std::size_t IMAGE_RECORD_SIZE = 54;  // one record of the image data file
inline constexpr std::size_t kChannelCount = 12;

// Where a data reply carries its end byte.
inline constexpr std::size_t kShortReplyEnd = 9;     // temperature and fan speed
inline constexpr std::size_t kChannelReplyEnd = 31;  // all channels

struct TemperatureReading {
    std::int32_t array1 = 0;
    std::int32_t array2 = 0;  // 0 for models with one LED array
    std::int32_t ambient = 0;
    bool operator==(const TemperatureReading&) const = default;
};

struct ChannelReading {
    std::array<std::int32_t, kChannelCount> ch{};  // ch[0] is CH1
    bool operator==(const ChannelReading&) const = default;
};

using StartPayload = std::array<std::uint8_t, 3>;
using RecordPayload = std::array<std::uint8_t, kMaxPayload>;

// The two's complement of the 8-bit sum of bytes, so that bytes plus checksum add up to 0.
std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes);

// Builds the request frame for command with payload in packet: 0xFF filler everywhere, header,
// payload, checksum over length..payload, end byte 0x5C. Returns false and leaves packet all 0xFF
// when the payload is longer than kMaxPayload.
bool Build_Packet(platform::Report& packet, std::uint8_t command, std::span<const std::uint8_t> payload);

// A data reply: start byte 0xA9 at offset 1 and the end byte 0x5C at endOffset. Length and checksum
// are not looked at: the controller's data replies are taken as they come.
bool isDataReply(const platform::Report& reply, std::size_t endOffset);

// The acknowledgement of command: the command echoed at offset 5, then 0x06 0x0D.
bool isAcknowledgement(const platform::Report& reply, std::uint8_t command);

// Whole degrees Celsius for the controller's raw thermistor reading; 0 outside 24 .. 249.
int Raw_To_Temperature(std::uint8_t raw);

// Value of a hexadecimal digit text ("0".."9", "a".."f", "A".."F"); 0 for anything that is not
// a hexadecimal number, as the standard conversion of "0x" + text gives.
int HexDigit_To_Int(std::string_view digit);

// Decoders of an accepted data reply.
TemperatureReading decodeTemperature(const platform::Report& reply, int arrayCount);  // zero reading unless 1 or 2 arrays
ChannelReading decodeAllChannel(const platform::Report& reply);
std::int32_t decodeFanSpeed(const platform::Report& reply);  // rpm; 0 when the period is 0

// Payload of the start request: 0x00 and the first two hexadecimal digits of recordCount. Counts
// below 16 have one digit only and are sent as 0x00, count (the same as count / 16, count % 16);
// a count of 0 or below is sent as 0.
StartPayload startPayload(std::int32_t recordCount);
// Payload of the end request.
StartPayload endPayload();
// Payload of a record request: the low 16 bits of index, big-endian, then the record unchanged.
RecordPayload recordPayload(std::int32_t index, std::span<const std::uint8_t, IMAGE_RECORD_SIZE> record);
