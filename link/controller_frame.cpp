#include "controller_frame.h"

#include <algorithm>
#include <charconv>

namespace {

using platform::Report;

constexpr std::uint8_t kReportId = 0x00;
constexpr std::uint8_t kStartByte = 0xA9;
constexpr std::uint8_t kEndByte = 0x5C;
constexpr std::uint8_t kFiller = 0xFF;
constexpr std::uint8_t kAckMark = 0x06;
constexpr std::uint8_t kAckEnd = 0x0D;
constexpr std::size_t kLengthOffset = 2;
constexpr std::size_t kCommandOffset = 5;
constexpr std::size_t kPayloadOffset = 6;
constexpr std::size_t kHeaderBytesCounted = 4;  // length, 0x01, 0x00, command

// The thermistor curve: each entry holds from its raw value up to the next entry's raw value - 1.
// The last entry (250 -> 0) closes the table.
struct CurvePoint {
    std::uint8_t firstRaw;
    std::int8_t celsius;
};
constexpr CurvePoint kThermistorCurve[] = {
    {24, 125}, {25, 123}, {26, 120}, {27, 119}, {28, 118}, {29, 117}, {30, 116}, {31, 115},
    {32, 113}, {33, 112}, {34, 110}, {35, 109}, {36, 108}, {37, 106}, {38, 105}, {39, 104},
    {40, 103}, {41, 102}, {42, 101}, {43, 100}, {44, 99},  {45, 98},  {46, 97},  {47, 96},
    {48, 95},  {49, 94},  {50, 93},  {52, 92},  {53, 91},  {54, 90},  {55, 89},  {56, 88},
    {58, 87},  {59, 86},  {60, 85},  {61, 84},  {63, 83},  {64, 82},  {65, 81},  {67, 80},
    {68, 79},  {70, 78},  {71, 77},  {72, 76},  {74, 75},  {75, 74},  {77, 73},  {79, 72},
    {80, 71},  {82, 70},  {83, 69},  {85, 68},  {87, 67},  {89, 66},  {91, 65},  {92, 64},
    {94, 63},  {96, 62},  {98, 61},  {100, 60}, {102, 59}, {104, 58}, {106, 57}, {108, 56},
    {110, 55}, {112, 54}, {114, 53}, {116, 52}, {118, 51}, {120, 50}, {122, 49}, {124, 48},
    {126, 47}, {128, 46}, {130, 45}, {132, 44}, {134, 43}, {136, 42}, {138, 41}, {140, 40},
    {143, 39}, {145, 38}, {147, 37}, {149, 36}, {151, 35}, {154, 34}, {156, 33}, {158, 32},
    {160, 31}, {162, 30}, {165, 29}, {167, 28}, {169, 27}, {171, 26}, {173, 25}, {175, 24},
    {177, 23}, {179, 22}, {181, 21}, {183, 20}, {185, 19}, {187, 18}, {189, 17}, {191, 16},
    {193, 15}, {194, 14}, {196, 13}, {198, 12}, {200, 11}, {202, 10}, {203, 9},  {205, 8},
    {207, 7},  {209, 6},  {211, 5},  {212, 4},  {214, 3},  {215, 2},  {216, 1},  {218, 0},
    {219, -1}, {221, -2}, {222, -3}, {224, -4}, {225, -5}, {226, -6}, {227, -7}, {228, -8},
    {229, -9}, {230, -10}, {231, -11}, {232, -12}, {233, -13}, {234, -14}, {235, -15}, {236, -16},
    {237, -18}, {238, -19}, {239, -20}, {240, -22}, {241, -23}, {242, -25}, {243, -27}, {244, -28},
    {245, -30}, {246, -33}, {247, -35}, {248, -38}, {249, -40}, {250, 0},
};

std::int32_t littleEndian16(const Report& reply, std::size_t offset) {
    return reply[offset] + 256 * reply[offset + 1];
}

}  // namespace

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

bool Build_Packet(Report& packet, std::uint8_t command, std::span<const std::uint8_t> payload) {
    packet.fill(kFiller);
    if (payload.size() > kMaxPayload) return false;
    const std::size_t n = payload.size();
    packet[0] = kReportId;
    packet[1] = kStartByte;
    packet[kLengthOffset] = static_cast<std::uint8_t>(n + kHeaderBytesCounted);
    packet[3] = 0x01;
    packet[4] = 0x00;
    packet[kCommandOffset] = command;
    std::copy(payload.begin(), payload.end(), packet.begin() + kPayloadOffset);
    packet[kPayloadOffset + n] =
        frameChecksum(std::span<const std::uint8_t>(packet).subspan(kLengthOffset, kHeaderBytesCounted + n));
    packet[kPayloadOffset + n + 1] = kEndByte;
    return true;
}

bool isDataReply(const Report& reply, std::size_t endOffset) {
    return endOffset < reply.size() && reply[1] == kStartByte && reply[endOffset] == kEndByte;
}

bool isAcknowledgement(const Report& reply, std::uint8_t command) {
    return reply[kCommandOffset] == command && reply[kPayloadOffset] == kAckMark &&
           reply[kPayloadOffset + 1] == kAckEnd;
}

int Raw_To_Temperature(std::uint8_t raw) {
    const auto after = std::upper_bound(std::begin(kThermistorCurve), std::end(kThermistorCurve), raw,
                                        [](std::uint8_t value, const CurvePoint& p) { return value < p.firstRaw; });
    return after == std::begin(kThermistorCurve) ? 0 : std::prev(after)->celsius;
}

int HexDigit_To_Int(std::string_view digit) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digit.data(), digit.data() + digit.size(), value, 16);
    if (error != std::errc() || end != digit.data() + digit.size()) return 0;
    return static_cast<int>(value);
}

TemperatureReading decodeTemperature(const Report& reply, int arrayCount) {
    const std::size_t at = kPayloadOffset;
    switch (arrayCount) {
    case 1: return {Raw_To_Temperature(reply[at]), 0, Raw_To_Temperature(reply[at + 1])};
    case 2:
        return {Raw_To_Temperature(reply[at]), Raw_To_Temperature(reply[at + 1]), Raw_To_Temperature(reply[at + 2])};
    default: return {};
    }
}

ChannelReading decodeAllChannel(const Report& reply) {
    ChannelReading reading;
    for (std::size_t i = 0; i < kChannelCount; ++i) reading.ch[i] = littleEndian16(reply, kPayloadOffset + 2 * i);
    return reading;
}

std::int32_t decodeFanSpeed(const Report& reply) {
    // The top bit is a flag of the controller's, not part of the period.
    const std::int32_t period = littleEndian16(reply, kPayloadOffset) & 0x7FFF;
    return period == 0 ? 0 : 300000 / period;
}

StartPayload startPayload(std::int32_t recordCount) {
    if (recordCount < 16) return {0x00, 0x00, static_cast<std::uint8_t>(std::max(recordCount, 0))};
    // The controller takes the first two digits of the count's hexadecimal text, whatever its length.
    char text[8];  // "7fffffff" at most
    std::to_chars(std::begin(text), std::end(text), recordCount, 16);
    return {0x00, static_cast<std::uint8_t>(HexDigit_To_Int(std::string_view(text, 1))),
            static_cast<std::uint8_t>(HexDigit_To_Int(std::string_view(text + 1, 1)))};
}

StartPayload endPayload() { return {0x01, 0x00, 0x00}; }

RecordPayload recordPayload(std::int32_t index, std::span<const std::uint8_t, IMAGE_RECORD_SIZE> record) {
    RecordPayload payload{};
    const auto low16 = static_cast<std::uint32_t>(index) & 0xFFFF;
    payload[0] = static_cast<std::uint8_t>(low16 >> 8);
    payload[1] = static_cast<std::uint8_t>(low16 & 0xFF);
    std::copy(record.begin(), record.end(), payload.begin() + 2);
    return payload;
}
