// The simulator's pure parts: its configuration, the control commands and the "47J53" board.
#include "board_bootloader.h"
#include "cli_options.h"
#include "control_command.h"
#include "controller_request.h"
#include "device_config.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

Report command(std::uint8_t code, std::uint32_t address = 0, std::uint8_t count = 0) {
    Report report{};
    report[1] = code;
    for (int i = 0; i < 4; ++i) report[2 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    report[6] = count;
    return report;
}

Report programPacket(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    Report report = command(BootCmdProgram, address, static_cast<std::uint8_t>(data.size()));
    std::copy(data.begin(), data.end(), report.end() - static_cast<std::ptrdiff_t>(data.size()));
    return report;
}

// The data bytes of a read-back reply.
std::vector<std::uint8_t> readBack(BoardBootloader& board, std::uint32_t address, std::uint8_t count) {
    const FirmwareActions actions = board.handleReport(command(BootCmdGetData, address, count), {});
    EXPECT_EQ(actions.replies.size(), 1u);
    const Report& reply = actions.replies.at(0);
    EXPECT_EQ(reply[1], BootCmdGetData);
    EXPECT_EQ(reply[2] | reply[3] << 8 | reply[4] << 16 | reply[5] << 24, static_cast<int>(address));
    return {reply.end() - reply[6], reply.end()};
}

BoardSettings settingsFrom(const std::string& spec) { return parseDeviceSpec(DeviceKind::Board, "b," + spec).board; }

TEST(SimConfig, BoardDefaultsAreAPic18f47j53Layout) {
    const DeviceConfig config = parseDeviceSpec(DeviceKind::Board, "board");
    EXPECT_EQ(config.hardwareId, "HID\\VID_04D8&PID_003C&REV_0002");
    EXPECT_TRUE(config.startPlugged);
    EXPECT_EQ(config.board.family, 1);
    EXPECT_EQ(config.board.bytesPerPacket, 56);
    ASSERT_EQ(config.board.regions.size(), 2u);
    EXPECT_EQ(config.board.regions[0].start + config.board.regions[0].length, config.board.regions[1].start);
    EXPECT_EQ(config.board.regions[1].type, kConfigRegionType);
    EXPECT_EQ(config.board.regions[1].start, 0x1FFF8u);
}

TEST(SimConfig, KeysAreReadInHexOrDecimal) {
    const DeviceConfig config = parseDeviceSpec(
        DeviceKind::Board, "b2,id=HID\\VID_04D8&PID_003C&REV_0099,family=2,bpp=0x30,regions=1:0x100:16;3:512:2,"
                           "erase-ms=5,reset-ms=7,timing=full-speed,fault=silent,unplug-after=3,unplugged");
    EXPECT_EQ(config.hardwareId, "HID\\VID_04D8&PID_003C&REV_0099");
    EXPECT_EQ(config.board.family, 2);
    EXPECT_EQ(config.board.bytesPerPacket, 0x30);
    ASSERT_EQ(config.board.regions.size(), 2u);
    EXPECT_EQ(config.board.regions[1].start, 512u);
    EXPECT_EQ(config.board.eraseMs, 5);
    EXPECT_EQ(config.board.resetMs, 7);
    EXPECT_EQ(config.behaviour.timing, Timing::FullSpeed);
    EXPECT_EQ(config.behaviour.fault, Fault::Silent);
    EXPECT_EQ(config.behaviour.unplugAfter, 3u);
    EXPECT_FALSE(config.startPlugged);
    EXPECT_EQ(parseDeviceSpec(DeviceKind::Controller, "c").hardwareId, "HID\\VID_1FC9&PID_0003&REV_0100");
}

TEST(SimConfig, BadInputIsRefusedWithItsReason) {
    const std::vector<std::pair<DeviceKind, std::string>> bad{
        {DeviceKind::Board, "b,colour=red"},        {DeviceKind::Board, "b,family=3"},
        {DeviceKind::Board, "b,bpp=256"},           {DeviceKind::Board, "b,erase-ms=soon"},
        {DeviceKind::Board, "b,regions=1:0:8;1:8:8;1:16:8;1:24:8;1:32:8"},
        {DeviceKind::Board, "b,regions=1:0:16;3:8:8"},  // overlapping
        {DeviceKind::Board, "b,regions=255:0:8"},      // would end the list
        {DeviceKind::Board, "b,regions=1:0xFFFFFFF0:0x20"},
        {DeviceKind::Board, "b,timing=high-speed"}, {DeviceKind::Controller, "c,family=2"},
        {DeviceKind::Board, "../b"},                {DeviceKind::Board, ""},
        {DeviceKind::Board, "b,id="},
    };
    for (const auto& [kind, spec] : bad) EXPECT_THROW(parseDeviceSpec(kind, spec), ConfigError) << spec;
    try {
        parseDeviceSpec(DeviceKind::Controller, "c,bpp=56");
    } catch (const ConfigError& e) {
        EXPECT_STREQ(e.what(), "c: unknown key 'bpp' for a controller");
    }
}

TEST(SimConfig, ControlCommands) {
    const ControlCommand set = parseControlCommand("set  board unplug-after=4\r");
    EXPECT_EQ(set.verb, ControlCommand::Verb::Set);
    EXPECT_EQ(set.device, "board");
    EXPECT_EQ(set.key, "unplug-after");
    EXPECT_EQ(set.value, "4");
    EXPECT_EQ(parseControlCommand("unplug ctl").verb, ControlCommand::Verb::Unplug);
    EXPECT_EQ(parseControlCommand("quit").verb, ControlCommand::Verb::Quit);
    for (const char* bad : {"", "plug", "plug a b", "set board", "set board fault", "reboot board", "quit now"})
        EXPECT_THROW(parseControlCommand(bad), ConfigError) << bad;
}

TEST(SimConfig, EveryDeviceIsOnAPortOfItsOwnUnlessGivenOne) {
    const SimOptions options = parseSimOptions({"--bus", "/tmp/bus", "--controller", "a", "--board", "b", "--stick", "s",
                                                "--controller", "c,port=1-2", "--board", "d,port=", "--board", "e"});
    std::vector<std::string> ports;
    for (const DeviceConfig& device : options.devices) ports.push_back(device.behaviour.port.value_or("unset"));
    // In the devices' order, passing over 1-2, which c was given; d's port is not known.
    EXPECT_EQ(ports, (std::vector<std::string>{"1-1", "1-3", "1-4", "1-2", "", "1-5"}));

    // Two devices may be given one port: one unit after another on a production line's cable.
    const SimOptions line = parseSimOptions({"--bus", "/tmp/bus", "--controller", "a,port=3-1", "--controller",
                                             "b,port=3-1,unplugged"});
    EXPECT_EQ(line.devices[0].behaviour.port, line.devices[1].behaviour.port);

    Behaviour behaviour;
    applyBehaviourSetting(behaviour, DeviceKind::Board, "port", "2-1.3");
    EXPECT_EQ(behaviour.port, "2-1.3");
    applyBehaviourSetting(behaviour, DeviceKind::Controller, "port", "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)");
    EXPECT_EQ(behaviour.port, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)");
    applyBehaviourSetting(behaviour, DeviceKind::Stick, "port", "");
    EXPECT_EQ(behaviour.port, "");
    for (const char* bad : {"1 2", "1-2,3", "1-\xC3\xA4", "1-2\n"})
        EXPECT_THROW(applyBehaviourSetting(behaviour, DeviceKind::Board, "port", bad), ConfigError) << bad;
    EXPECT_THROW(applyBehaviourSetting(behaviour, DeviceKind::Board, "port", std::string(129, '1')), ConfigError);
    EXPECT_EQ(parseControlCommand("set ctl port=1-4").value, "1-4");
    EXPECT_EQ(parseControlCommand("set ctl port=").value, "");
}

TEST(SimConfig, AStickIsADriveWithFilesOnAPortOfItsOwn) {
    const DeviceConfig byLetter = parseDeviceSpec(DeviceKind::Stick, "g");
    EXPECT_EQ(byLetter.kind, DeviceKind::Stick);
    EXPECT_EQ(byLetter.stick.letter, 'G');  // a stick named by a letter is that drive
    EXPECT_TRUE(byLetter.stick.files.empty());
    EXPECT_TRUE(byLetter.startPlugged);
    EXPECT_FALSE(byLetter.behaviour.port.has_value());
    EXPECT_EQ(parseDeviceSpec(DeviceKind::Stick, "stick").stick.letter, 0);  // the first free one

    const DeviceConfig stick = parseDeviceSpec(
        DeviceKind::Stick, "stick,letter=h,port=2-1,file=/tmp/firmware.bin,file=/tmp/notes.txt,unplugged");
    EXPECT_EQ(stick.stick.letter, 'H');
    EXPECT_EQ(stick.behaviour.port, "2-1");
    EXPECT_EQ(stick.stick.files, (std::vector<std::string>{"/tmp/firmware.bin", "/tmp/notes.txt"}));
    EXPECT_FALSE(stick.startPlugged);

    for (const char* bad : {"s,letter=B", "s,letter=", "s,file=", "s,fault=silent", "s,id=HID\\X", "s,port=1 2",
                            "s,disk-letter=G", "s,unplugged=yes", "s,port"})
        EXPECT_THROW(parseDeviceSpec(DeviceKind::Stick, bad), ConfigError) << bad;
    try {
        parseDeviceSpec(DeviceKind::Stick, "s,timing=none");
        ADD_FAILURE();
    } catch (const ConfigError& e) {
        EXPECT_STREQ(e.what(), "s: unknown key 'timing' for a stick (letter, port, file, unplugged)");
    }
    Behaviour behaviour;
    EXPECT_THROW(applyBehaviourSetting(behaviour, DeviceKind::Stick, "fault", "silent"), ConfigError);
}

TEST(SimBoard, QueryListsUpToFourRegionsAndEndsTheList) {
    BoardBootloader four(settingsFrom("bpp=58,regions=1:0:8;1:8:8;2:16:8;3:24:4"));
    Report reply = four.handleReport(command(BootCmdQuery), {}).replies.at(0);
    EXPECT_EQ(reply[1], BootCmdQuery);
    EXPECT_EQ(reply[2], 58);
    EXPECT_EQ(reply[3], 1);
    EXPECT_EQ(reply[4 + 27], kConfigRegionType);
    EXPECT_EQ(reply[4 + 27 + 1], 24);
    EXPECT_EQ(reply[4 + 27 + 5], 4);
    EXPECT_EQ(reply[4 + 36], 0xFF);

    BoardBootloader none(settingsFrom("regions="));
    EXPECT_EQ(none.handleReport(command(BootCmdQuery), {}).replies.at(0)[4], 0xFF);
}

TEST(SimBoard, EraseTakesItsTimeAndSparesTheConfigurationWords) {
    BoardBootloader board(settingsFrom("regions=1:0x100:16;3:0x200:4,erase-ms=123"));
    board.handleReport(programPacket(0x100, {0x12, 0x34}), {});
    board.handleReport(command(BootCmdProgramComplete), {});
    board.handleReport(programPacket(0x200, {0x56}), {});
    const FirmwareActions erase = board.handleReport(command(BootCmdErase), {});
    EXPECT_TRUE(erase.replies.empty());
    EXPECT_EQ(erase.busyMs, 123);
    EXPECT_EQ(erase.busyEndEvent, "erased");
    EXPECT_EQ(readBack(board, 0x100, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(readBack(board, 0x200, 1), (std::vector<std::uint8_t>{0x56}));
}

TEST(SimBoard, ProgrammingOnlyClearsBitsAsFlashDoes) {
    BoardBootloader board(settingsFrom("regions=1:0:64"));
    board.handleReport(programPacket(0, {0xF0, 0x3C}), {});
    board.handleReport(command(BootCmdProgramComplete), {});
    board.handleReport(programPacket(0, {0x0F, 0xFF}), {});
    EXPECT_EQ(readBack(board, 0, 2), (std::vector<std::uint8_t>{0x00, 0x3C}));
}

TEST(SimBoard, AJumpWithoutProgramCompleteIsAFramingErrorWrittenWhereTheRunContinues) {
    BoardBootloader board(settingsFrom("regions=1:0:64"));
    EXPECT_TRUE(board.handleReport(programPacket(0, {1, 2, 3, 4}), {}).events.empty());
    EXPECT_TRUE(board.handleReport(programPacket(4, {5, 6}), {}).events.empty());  // continues: fine
    const FirmwareActions jump = board.handleReport(programPacket(32, {7, 8}), {});
    EXPECT_EQ(jump.events, std::vector<DeviceEvent>{"framing-error"});
    EXPECT_EQ(readBack(board, 6, 2), (std::vector<std::uint8_t>{7, 8}));
    EXPECT_EQ(readBack(board, 32, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));

    // After a ProgramComplete (whatever trails it) a packet may start anywhere.
    Report complete = command(BootCmdProgramComplete, 0x1234, 9);
    complete[64] = 0xAB;
    board.handleReport(complete, {});
    EXPECT_TRUE(board.handleReport(programPacket(40, {9}), {}).events.empty());
    EXPECT_EQ(readBack(board, 40, 1), std::vector<std::uint8_t>{9});

    // A reset ends the run as well.
    board.powerUp();
    EXPECT_TRUE(board.handleReport(programPacket(50, {10}), {}).events.empty());
}

TEST(SimBoard, TwoByteAddressesKeepThePadByteZero) {
    BoardBootloader board(settingsFrom("family=2,bpp=57,regions=1:0:32"));
    // 57 bytes end in the middle of address 28; the next packet continues there.
    std::vector<std::uint8_t> first(57, 0x11);
    board.handleReport(programPacket(0, first), {});
    const FirmwareActions next = board.handleReport(programPacket(28, {0x22, 0x33}), {});
    EXPECT_TRUE(next.events.empty());
    const std::vector<std::uint8_t> back = readBack(board, 26, 8);
    EXPECT_EQ(back, (std::vector<std::uint8_t>{0x11, 0x11, 0x11, 0x00, 0x11, 0x22, 0x33, 0x00}));
}

TEST(SimBoard, MalformedRequestsAreFlagged) {
    BoardBootloader board(settingsFrom("regions=1:0x10:8"));
    EXPECT_EQ(board.handleReport(programPacket(0x16, {1, 2, 3, 4}), {}).events,
              std::vector<DeviceEvent>{"protocol-error"});  // runs past the region's end
    EXPECT_EQ(readBack(board, 0x16, 2), (std::vector<std::uint8_t>{1, 2}));
    board.handleReport(command(BootCmdProgramComplete), {});
    EXPECT_EQ(board.handleReport(command(BootCmdProgram, 0x10, 59), {}).events, std::vector<DeviceEvent>{"protocol-error"});
    const FirmwareActions tooMuch = board.handleReport(command(BootCmdGetData, 0x10, 200), {});
    EXPECT_EQ(tooMuch.events, std::vector<DeviceEvent>{"protocol-error"});
    EXPECT_EQ(tooMuch.replies.at(0)[6], kMaxPacketData);
    // The library's bootloader-mode request ("BOOT" over the frame's head) means nothing to the
    // bootloader; nor does the controller's own, as the bootloader runs already.
    Report boot{0, 'B', 'O', 'O', 'T', 0x9A, 0x61, 0x5C};
    const FirmwareActions ignored = board.handleReport(boot, {});
    EXPECT_TRUE(ignored.replies.empty() && ignored.events.empty());
    EXPECT_FALSE(board.handleReport(simtest::controllerRequest(0x9A), {}).bootloaderMode);
}

TEST(SimBoard, AnswersTheControllerLinkBesideItsBootloader) {
    ControllerSettings controllerSide;
    controllerSide.eraseMs = 55;
    BoardBootloader board(settingsFrom("regions=1:0:64"), controllerSide);
    board.handleReport(programPacket(0, {0x12}), {});
    const FirmwareActions temperature = board.handleReport(simtest::controllerRequest(0x0F), std::chrono::seconds(3));
    ASSERT_EQ(temperature.replies.size(), 1u);
    EXPECT_EQ(temperature.replies[0][1], 0xA9);
    EXPECT_EQ(temperature.replies[0][9], 0x5C);
    const FirmwareActions erase = board.handleReport(simtest::controllerRequest(0x98), {});
    EXPECT_EQ(erase.acknowledge, 0x98);
    EXPECT_EQ(erase.busyMs, 55);
    // The image-flash erase leaves the program flash alone, and the bootloader still answers.
    EXPECT_EQ(readBack(board, 0, 1), std::vector<std::uint8_t>{0x12});
    EXPECT_EQ(board.handleReport(command(BootCmdQuery), {}).replies.at(0)[1], BootCmdQuery);
    EXPECT_EQ(parseDeviceSpec(DeviceKind::Board, "b,erase-ms=70").controller.eraseMs, 70);
}

}  // namespace
}  // namespace sim
