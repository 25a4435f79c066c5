// The controller's device side as pure logic: its frames, its measurements, its image flash and its
// answers to the image-flash and bootloader-mode requests.
#include "control_command.h"
#include "controller_firmware.h"
#include "controller_frames.h"
#include "controller_request.h"
#include "device_config.h"
#include "measurements.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

using simtest::controllerRequest;
using simtest::recordRequest;

std::vector<std::uint8_t> head(const Report& report, std::size_t size) { return {report.begin(), report.begin() + static_cast<std::ptrdiff_t>(size)}; }

std::vector<std::uint8_t> record(std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(kImageRecordSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(seed + i);
    return bytes;
}

TEST(SimControllerFrames, RequestsAreTakenOnlyWhenWellFormed) {
    Report allChannel{0x00, 0xA9, 0x04, 0x01, 0x00, 0x05, 0xF6, 0x5C};
    std::fill(allChannel.begin() + 8, allChannel.end(), 0xFF);
    const auto plain = parseControllerRequest(allChannel);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->command, CmdGetAllChannel);
    EXPECT_TRUE(plain->payload.empty());

    Report start{0x00, 0xA9, 0x07, 0x01, 0x00, 0x96, 0x00, 0x0A, 0x03, 0x55, 0x5C};
    const auto withPayload = parseControllerRequest(start);
    ASSERT_TRUE(withPayload);
    EXPECT_EQ(withPayload->payload, (std::vector<std::uint8_t>{0x00, 0x0A, 0x03}));

    Report badChecksum = allChannel;
    badChecksum[6] = 0xF7;
    Report noEnd = allChannel;
    noEnd[7] = 0xFF;
    Report tooLong = controllerRequest(CmdFlashImgData, std::vector<std::uint8_t>(56, 1));
    tooLong[2] = 61;
    Report bootCommand{0x00, 0x02};
    for (const Report& bad : {badChecksum, noEnd, tooLong, bootCommand}) EXPECT_FALSE(parseControllerRequest(bad));
}

TEST(SimControllerFrames, RepliesAreWholeFramesWithTheEndByteWhereAsked) {
    const Report ack = acknowledgement(CmdEraseFlashImg);
    EXPECT_EQ(head(ack, 10), (std::vector<std::uint8_t>{0x00, 0xA9, 0x06, 0x01, 0x00, 0x98, 0x06, 0x0D, 0x4E, 0x5C}));
    EXPECT_TRUE(std::all_of(ack.begin() + 10, ack.end(), [](std::uint8_t b) { return b == 0xFF; }));

    const std::vector<std::uint8_t> channels(24, 0x10);
    const Report channelReply = controllerReply(CmdGetAllChannel, channels, 31);
    EXPECT_EQ(channelReply[2], 28);
    EXPECT_EQ(channelReply[31], 0x5C);
    unsigned sum = 0;
    for (std::size_t i = 2; i <= 30; ++i) sum += channelReply[i];
    EXPECT_EQ(sum % 256, 0u);

    // Three temperature bytes leave no room for a checksum before offset 9.
    const std::vector<std::uint8_t> temperatures{140, 141, 175};
    const Report twoArrays = controllerReply(CmdGetTemperature, temperatures, 9);
    EXPECT_EQ(head(twoArrays, 11), (std::vector<std::uint8_t>{0x00, 0xA9, 0x07, 0x01, 0x00, 0x0F, 140, 141, 175, 0x5C, 0xFF}));
}

TEST(SimControllerFirmware, KeepsRecordsByTheirIndexWithGapsErased) {
    ControllerFirmware controller{ControllerSettings{}};
    const FirmwareActions start = controller.handleReport(controllerRequest(CmdFlashImgDataStart, {0x00, 0x01, 0x0A}), {});
    EXPECT_EQ(start.acknowledge, CmdFlashImgDataStart);
    ASSERT_EQ(start.events.size(), 1u);
    EXPECT_EQ(start.events[0], DeviceEvent("image-start", {{"digit1", std::int64_t{1}}, {"digit2", std::int64_t{10}}}));

    const FirmwareActions stored = controller.handleReport(recordRequest(0x0102, record(7)), {});
    EXPECT_EQ(stored.acknowledge, CmdFlashImgData);
    EXPECT_TRUE(stored.events.empty());
    controller.handleReport(recordRequest(0, record(1)), {});
    controller.handleReport(recordRequest(0, record(3)), {});  // sent again: the last one stays

    const auto image = controller.imageData();
    ASSERT_EQ(image.size(), 0x0103 * kImageRecordSize);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 54), record(3));
    EXPECT_EQ(std::vector<std::uint8_t>(image.end() - 54, image.end()), record(7));
    EXPECT_EQ(image[54], 0xFF);

    const FirmwareActions end = controller.handleReport(controllerRequest(CmdFlashImgDataStart, {0x01, 0x00, 0x00}), {});
    EXPECT_EQ(end.acknowledge, CmdFlashImgDataStart);
    EXPECT_EQ(end.events.at(0), DeviceEvent("image-end", {{"records", std::int64_t{2}}}));
    // After the end, or after a reset, a record means the host skipped its start request.
    EXPECT_EQ(controller.handleReport(recordRequest(2, record(9)), {}).events.at(0).name, "record-outside-transfer");
}

TEST(SimControllerFirmware, MalformedAndUnknownRequestsGetNoAcknowledgement) {
    ControllerFirmware controller{ControllerSettings{}};
    Report badChecksum = recordRequest(0, record(1));
    badChecksum[62] ^= 0x01;
    const std::vector<Report> refused{
        badChecksum,
        controllerRequest(CmdFlashImgData, std::vector<std::uint8_t>(20, 0)),   // short record
        controllerRequest(CmdFlashImgDataStart, {0x02, 0x00, 0x00}),          // neither start nor end
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        const FirmwareActions actions = controller.handleReport(refused[i], {});
        EXPECT_FALSE(actions.acknowledge) << i;
        EXPECT_EQ(actions.events, std::vector<DeviceEvent>{"protocol-error"}) << i;
    }
    const FirmwareActions unknown = controller.handleReport(controllerRequest(0x42), {});
    EXPECT_FALSE(unknown.acknowledge);
    EXPECT_EQ(unknown.events.at(0), DeviceEvent("unknown-request", {{"command", std::int64_t{0x42}}}));
    EXPECT_TRUE(controller.imageData().empty());
}

TEST(SimControllerFirmware, BootloaderModeHasNoReply) {
    ControllerFirmware controller{ControllerSettings{}};
    const FirmwareActions actions = controller.handleReport(controllerRequest(CmdBootLoaderMode), {});
    EXPECT_TRUE(actions.bootloaderMode);
    EXPECT_TRUE(actions.replies.empty());
    EXPECT_FALSE(actions.acknowledge);
    EXPECT_EQ(actions.events, std::vector<DeviceEvent>{"bootloader-mode"});
}

TEST(SimControllerConfig, KeysFaultsAndCommands) {
    const DeviceConfig config = parseDeviceSpec(
        DeviceKind::Controller, "c,erase-ms=20,disk-ms=30,disk-letter=h,firmware=/tmp/fw.bin,arrays=2,seed=9,"
                                "fault=no-ack,wrong-acks=2,disk=refuse");
    EXPECT_EQ(config.controller.eraseMs, 20);
    EXPECT_EQ(config.controller.diskMs, 30);
    EXPECT_EQ(config.controller.diskLetter, 'H');
    EXPECT_EQ(config.controller.firmwarePath, "/tmp/fw.bin");
    EXPECT_EQ(config.controller.arrays, 2);
    EXPECT_EQ(config.controller.seed, 9u);
    EXPECT_EQ(config.behaviour.fault, Fault::NoAck);
    EXPECT_EQ(config.behaviour.wrongAcks, 2u);
    EXPECT_EQ(config.behaviour.disk, DiskFault::Refuse);

    for (const char* bad : {"c,disk-letter=B", "c,disk-letter=FG", "c,arrays=3", "c,disk=maybe", "c,fault=loud",
                            "c,firmware=", "c,wrong-acks=-1"})
        EXPECT_THROW(parseDeviceSpec(DeviceKind::Controller, bad), ConfigError) << bad;
    EXPECT_THROW(parseDeviceSpec(DeviceKind::Board, "b,disk=none"), ConfigError);  // a board has no disk
    Behaviour behaviour;
    EXPECT_THROW(applyBehaviourSetting(behaviour, DeviceKind::Board, "disk", "none"), ConfigError);
    applyBehaviourSetting(behaviour, DeviceKind::Controller, "disk", "none");
    EXPECT_EQ(behaviour.disk, DiskFault::NoDisk);
    applyBehaviourSetting(behaviour, DeviceKind::Controller, "disk", "refuse-stop");
    EXPECT_EQ(behaviour.disk, DiskFault::RefuseStop);

    const ControlCommand dump = parseControlCommand("dump ctl /tmp/ctl.image");
    EXPECT_EQ(dump.verb, ControlCommand::Verb::Dump);
    EXPECT_EQ(dump.device, "ctl");
    EXPECT_EQ(dump.path, "/tmp/ctl.image");
    EXPECT_EQ(parseControlCommand("stop-drive f:").drive, 'F');
    EXPECT_EQ(parseControlCommand("stop-drive G").drive, 'G');
    for (const char* bad : {"stop-drive", "stop-drive B:", "stop-drive F:G:", "dump ctl", "stop-drive F: now"})
        EXPECT_THROW(parseControlCommand(bad), ConfigError) << bad;
}

using namespace std::chrono_literals;

int fanRpm(std::uint16_t raw) { return 300000 / (raw & 0x7FFF); }

TEST(SimMeasurements, StayPlausibleAndDriftSlowlyOverTenMinutes) {
    Measurements previous = measure(7, 0ms);
    Measurements first = previous;
    bool changed[16] = {};
    for (auto t = kMeasurementStep; t <= 10min; t += kMeasurementStep) {
        const Measurements m = measure(7, t);
        // The arrays at 38 to 46 degrees C, the ambient at 23 to 27 (raw, higher is colder).
        EXPECT_TRUE(m.array1Raw >= 128 && m.array1Raw <= 146) << int{m.array1Raw};
        EXPECT_TRUE(m.array2Raw >= 128 && m.array2Raw <= 146) << int{m.array2Raw};
        EXPECT_TRUE(m.ambientRaw >= 169 && m.ambientRaw <= 180) << int{m.ambientRaw};
        EXPECT_TRUE(fanRpm(m.fanRaw) >= 1600 && fanRpm(m.fanRaw) <= 2000) << fanRpm(m.fanRaw);
        // One step later: at most one raw unit for a thermistor, a few units for a channel.
        EXPECT_LE(std::abs(m.array1Raw - previous.array1Raw), 1);
        EXPECT_LE(std::abs(m.ambientRaw - previous.ambientRaw), 1);
        for (std::size_t i = 0; i < kChannels; ++i) {
            EXPECT_LE(m.channels[i], 4095);
            EXPECT_LE(std::abs(m.channels[i] - previous.channels[i]), 4) << i;
            changed[3 + i] = changed[3 + i] || m.channels[i] != first.channels[i];
        }
        changed[0] = changed[0] || m.array1Raw != first.array1Raw;
        changed[1] = changed[1] || m.array2Raw != first.array2Raw;
        changed[2] = changed[2] || m.ambientRaw != first.ambientRaw;
        changed[15] = changed[15] || m.fanRaw != first.fanRaw;
        previous = m;
    }
    for (bool c : changed) EXPECT_TRUE(c);
}

TEST(SimMeasurements, SameSeedAndTimeSameValuesWithinAStep) {
    const Measurements a = measure(3, 61s + 10ms), b = measure(3, 61s + 240ms), other = measure(4, 61s);
    EXPECT_EQ(a.channels, b.channels);
    EXPECT_EQ(a.fanRaw, b.fanRaw);
    EXPECT_NE(a.channels, other.channels);
}

TEST(SimControllerFirmware, MeasurementRepliesPutTheEndByteWhereTheHostLooks) {
    ControllerSettings one;
    one.seed = 5;
    ControllerSettings two = one;
    two.arrays = 2;
    const Measurements m = measure(5, 42s);

    const Report single = ControllerFirmware(one).handleReport(controllerRequest(CmdGetTemperature), 42s).replies.at(0);
    EXPECT_EQ(head(single, 10), (std::vector<std::uint8_t>{0x00, 0xA9, 0x06, 0x01, 0x00, 0x0F, m.array1Raw,
                                                           m.ambientRaw, single[8], 0x5C}));
    EXPECT_EQ((0x06 + 0x01 + 0x0F + m.array1Raw + m.ambientRaw + single[8]) % 256, 0);
    const Report dual = ControllerFirmware(two).handleReport(controllerRequest(CmdGetTemperature), 42s).replies.at(0);
    EXPECT_EQ(head(dual, 10), (std::vector<std::uint8_t>{0x00, 0xA9, 0x07, 0x01, 0x00, 0x0F, m.array1Raw, m.array2Raw,
                                                         m.ambientRaw, 0x5C}));

    const Report channels = ControllerFirmware(one).handleReport(controllerRequest(CmdGetAllChannel), 42s).replies.at(0);
    EXPECT_EQ(channels[1], 0xA9);
    EXPECT_EQ(channels[31], 0x5C);
    for (std::size_t i = 0; i < kChannels; ++i) EXPECT_EQ(channels[6 + 2 * i] | channels[7 + 2 * i] << 8, m.channels[i]);

    const FirmwareActions fan = ControllerFirmware(one).handleReport(controllerRequest(CmdGetFanSpeed), 42s);
    ASSERT_EQ(fan.replies.size(), 1u);
    EXPECT_FALSE(fan.acknowledge);
    EXPECT_EQ(fan.replies[0][6] | fan.replies[0][7] << 8, m.fanRaw);
    EXPECT_EQ(fan.replies[0][9], 0x5C);
}

}  // namespace
}  // namespace sim
