// The controller's frames and replies, byte by byte.
#include "link/controller_frame.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using platform::Report;

Report frameOf(std::uint8_t command, std::vector<std::uint8_t> payload = {}) {
    Report packet{};
    EXPECT_TRUE(Build_Packet(packet, command, payload));
    return packet;
}

void expectFrameStart(const Report& packet, std::vector<std::uint8_t> head) {
    for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(packet[i], head[i]) << "byte " << i;
    for (std::size_t i = head.size(); i < packet.size(); ++i) EXPECT_EQ(packet[i], 0xFF) << "byte " << i;
}

Report replyWith(std::vector<std::pair<std::size_t, std::uint8_t>> bytes) {
    Report reply{};
    for (auto [offset, value] : bytes) reply[offset] = value;
    return reply;
}

TEST(ControllerFrame, WorkedFramesAreExact) {
    expectFrameStart(frameOf(CmdGetAllChannel), {0x00, 0xA9, 0x04, 0x01, 0x00, 0x05, 0xF6, 0x5C});
    expectFrameStart(frameOf(CmdBootLoaderMode), {0x00, 0xA9, 0x04, 0x01, 0x00, 0x9A, 0x61, 0x5C});
    const StartPayload start = startPayload(163);
    expectFrameStart(frameOf(CmdFlashImgDataStart, {start.begin(), start.end()}),
                     {0x00, 0xA9, 0x07, 0x01, 0x00, 0x96, 0x00, 0x0A, 0x03, 0x55, 0x5C});
}

TEST(ControllerFrame, ChecksumZeroesTheSumForEveryPayloadLength) {
    for (std::size_t n : {0u, 1u, 3u, 55u, 56u}) {
        std::vector<std::uint8_t> payload(n);
        std::iota(payload.begin(), payload.end(), std::uint8_t{0xC0});
        const Report packet = frameOf(CmdFlashImgData, payload);
        EXPECT_EQ(packet[2], n + 4);
        const unsigned sum = std::accumulate(packet.begin() + 2, packet.begin() + 7 + static_cast<long>(n), 0u);
        EXPECT_EQ(sum % 256, 0u) << "payload of " << n;
        EXPECT_EQ(packet[7 + n], 0x5C);
    }
}

TEST(ControllerFrame, RefusesAPayloadThatDoesNotFit) {
    Report packet{};
    const std::vector<std::uint8_t> tooLong(kMaxPayload + 1, 0x11);
    EXPECT_FALSE(Build_Packet(packet, CmdFlashImgData, tooLong));
    expectFrameStart(packet, {});
}

TEST(ControllerFrame, RecordRequestFillsTheWholeReport) {
    std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    std::iota(record.begin(), record.end(), std::uint8_t{1});
    const RecordPayload payload = recordPayload(0x0102, record);
    const Report packet = frameOf(CmdFlashImgData, {payload.begin(), payload.end()});
    EXPECT_EQ(packet[2], 60);
    EXPECT_EQ(packet[6], 0x01);
    EXPECT_EQ(packet[7], 0x02);
    EXPECT_EQ(packet[8], 1);
    EXPECT_EQ(packet[61], 54);
    EXPECT_EQ(packet[63], 0x5C);
    EXPECT_EQ(packet[64], 0xFF);
    const unsigned sum = std::accumulate(packet.begin() + 2, packet.begin() + 63, 0u);
    EXPECT_EQ(sum % 256, 0u);
    // Only the low 16 bits of the index travel.
    EXPECT_EQ(recordPayload(65536, record)[0], 0x00);
    EXPECT_EQ(recordPayload(65536, record)[1], 0x00);
    EXPECT_EQ(recordPayload(65536 + 0xFF03, record)[0], 0xFF);
    EXPECT_EQ(recordPayload(65536 + 0xFF03, record)[1], 0x03);
}

TEST(ControllerFrame, StartCountCarriesTheLeadingHexDigits) {
    EXPECT_EQ(startPayload(163), (StartPayload{0x00, 0x0A, 0x03}));
    EXPECT_EQ(startPayload(16), (StartPayload{0x00, 0x01, 0x00}));
    EXPECT_EQ(startPayload(255), (StartPayload{0x00, 0x0F, 0x0F}));
    // Three or more digits: only the first two travel, as the controller expects.
    EXPECT_EQ(startPayload(256), (StartPayload{0x00, 0x01, 0x00}));
    EXPECT_EQ(startPayload(419), (StartPayload{0x00, 0x01, 0x0A}));
    EXPECT_EQ(startPayload(0x7FFFFFFF), (StartPayload{0x00, 0x07, 0x0F}));
    // One digit: the count itself in the low byte, as count / 16 and count % 16 would give.
    EXPECT_EQ(startPayload(15), (StartPayload{0x00, 0x00, 0x0F}));
    EXPECT_EQ(startPayload(1), (StartPayload{0x00, 0x00, 0x01}));
    EXPECT_EQ(startPayload(0), (StartPayload{0x00, 0x00, 0x00}));
    EXPECT_EQ(startPayload(-5), (StartPayload{0x00, 0x00, 0x00}));
    EXPECT_EQ(endPayload(), (StartPayload{0x01, 0x00, 0x00}));
}

TEST(ControllerFrame, HexDigitToInt) {
    EXPECT_EQ(HexDigit_To_Int("0"), 0);
    EXPECT_EQ(HexDigit_To_Int("9"), 9);
    EXPECT_EQ(HexDigit_To_Int("a"), 10);
    EXPECT_EQ(HexDigit_To_Int("F"), 15);
    EXPECT_EQ(HexDigit_To_Int("g"), 0);
    EXPECT_EQ(HexDigit_To_Int(""), 0);
    EXPECT_EQ(HexDigit_To_Int("-1"), 0);
}

TEST(ControllerReply, DataReplyNeedsStartAndEndByteOnly) {
    Report reply = replyWith({{1, 0xA9}, {31, 0x5C}, {2, 0x77}, {30, 0x12}});  // length and checksum are wrong
    EXPECT_TRUE(isDataReply(reply, kChannelReplyEnd));
    EXPECT_FALSE(isDataReply(reply, kShortReplyEnd));
    reply[1] = 0xA8;
    EXPECT_FALSE(isDataReply(reply, kChannelReplyEnd));
    EXPECT_FALSE(isDataReply(reply, 65));
}

TEST(ControllerReply, AcknowledgementNamesItsCommand) {
    const Report ack = replyWith({{5, CmdFlashImgData}, {6, 0x06}, {7, 0x0D}});  // byte 1 is not looked at
    EXPECT_TRUE(isAcknowledgement(ack, CmdFlashImgData));
    EXPECT_FALSE(isAcknowledgement(ack, CmdEraseFlashImg));
    EXPECT_FALSE(isAcknowledgement(replyWith({{5, CmdFlashImgData}, {6, 0x06}, {7, 0x0C}}), CmdFlashImgData));
    EXPECT_FALSE(isAcknowledgement(replyWith({{5, CmdFlashImgData}, {6, 0x15}, {7, 0x0D}}), CmdFlashImgData));
}

TEST(ControllerReply, FanSpeedIgnoresTheTopBit) {
    auto fan = [](std::uint8_t low, std::uint8_t high) { return decodeFanSpeed(replyWith({{6, low}, {7, high}})); };
    EXPECT_EQ(fan(0x00, 0x80), 0);
    EXPECT_EQ(fan(200, 0x80), 1500);
    EXPECT_EQ(fan(0, 0), 0);
    EXPECT_EQ(fan(1, 0), 300000);
    EXPECT_EQ(fan(0xE8, 0x03), 300);  // 1000
    EXPECT_EQ(fan(0xFF, 0x7F), 9);
}

TEST(ControllerReply, ChannelsAreLittleEndianInOrder) {
    Report reply{};
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        reply[6 + 2 * i] = static_cast<std::uint8_t>(i + 1);
        reply[7 + 2 * i] = static_cast<std::uint8_t>(0xF0 + i);
    }
    const ChannelReading reading = decodeAllChannel(reply);
    EXPECT_EQ(reading.ch[0], 0xF001);
    EXPECT_EQ(reading.ch[11], 0xFB0C);
    reply[28] = 0xFF;
    reply[29] = 0xFF;
    EXPECT_EQ(decodeAllChannel(reply).ch[11], 65535);
}

TEST(ControllerReply, TemperatureBytesFollowTheArrayCount) {
    const Report reply = replyWith({{6, 24}, {7, 249}, {8, 218}});
    EXPECT_EQ(decodeTemperature(reply, 1), (TemperatureReading{125, 0, -40}));
    EXPECT_EQ(decodeTemperature(replyWith({{6, 24}, {7, 249}, {8, 100}}), 2), (TemperatureReading{125, -40, 60}));
    EXPECT_EQ(decodeTemperature(reply, 0), TemperatureReading{});
    EXPECT_EQ(decodeTemperature(reply, 3), TemperatureReading{});
}

TEST(ControllerReply, ThermistorTableEndsAndRanges) {
    EXPECT_EQ(Raw_To_Temperature(0), 0);
    EXPECT_EQ(Raw_To_Temperature(23), 0);
    EXPECT_EQ(Raw_To_Temperature(24), 125);
    EXPECT_EQ(Raw_To_Temperature(25), 123);
    EXPECT_EQ(Raw_To_Temperature(51), 93);
    EXPECT_EQ(Raw_To_Temperature(52), 92);
    EXPECT_EQ(Raw_To_Temperature(140), 40);
    EXPECT_EQ(Raw_To_Temperature(142), 40);
    EXPECT_EQ(Raw_To_Temperature(143), 39);
    EXPECT_EQ(Raw_To_Temperature(164), 30);
    EXPECT_EQ(Raw_To_Temperature(193), 15);
    EXPECT_EQ(Raw_To_Temperature(217), 1);
    EXPECT_EQ(Raw_To_Temperature(218), 0);
    EXPECT_EQ(Raw_To_Temperature(220), -1);
    EXPECT_EQ(Raw_To_Temperature(237), -18);
    EXPECT_EQ(Raw_To_Temperature(249), -40);
    EXPECT_EQ(Raw_To_Temperature(250), 0);
    EXPECT_EQ(Raw_To_Temperature(255), 0);
}

}  // namespace
