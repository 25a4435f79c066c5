// The library through its exports, against the simulated board.
#include "session_test_support.h"
#include "hex_test_support.h"

#include "bootloader/boot_protocol.h"
#include "bootloader/read_back.h"

#include <chrono>
#include <filesystem>

namespace zerlin::test {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint32_t addressOf(const platform::Report& r) { return getLittleEndian32(r, kAddressOffset); }

// A handle of the test's own on the board, beside the library's.
platform::HidHandle openBoard(platform::HidAccess access)
{
    platform::OsError error = platform::kOk;
    const std::vector<platform::HidInterfaceInfo> interfaces = platform::listHidInterfaces(&error);
    EXPECT_EQ(interfaces.size(), 1u);
    platform::HidHandle handle = platform::HidHandle::open(interfaces.at(0).path, access, error);
    EXPECT_EQ(error, platform::kOk);
    return handle;
}

// Data at the start of the program region and near its end, a gap between, and configuration
// bytes that must never be written.
std::string firmware(std::uint8_t seed)
{
    return ":020000040000FA\n" + dataRecord(0x1000, sequence(40, seed)) + dataRecord(0x1028, sequence(40, seed)) +
           dataRecord(0x13F0, sequence(16, seed)) + ":020000040001F9\n" + dataRecord(0xFFF8, {0x12, 0x34}) +
           ":00000001FF\n";
}

using DeviceSearch = BoardSession;

// Only the device's side is upper-cased; the first match by name (enumeration order) wins.
TEST_F(DeviceSearch, FirstMatchInEnumerationOrderAndOnlyUpperCaseFragments)
{
    start({"--board", "b-board", "--board", "a-board,id=HID\\vid_04d8&pid_003c&REV_0001", "--board",
           "c-other,id=HID\\VID_1234&PID_0001&REV_0001"});
    ASSERT_EQ(M47J53_SetUSBHandle(kBoardId), 1);
    EXPECT_EQ(M47J53_Reset(), 1);
    EXPECT_EQ(received(BootCmdReset, "a-board", 1).size(), 1u);
    settle();
    EXPECT_TRUE(received(BootCmdReset, "b-board").empty());

    // A failed search leaves the session without a board: nothing reaches the board of the last
    // good one (back on the bus by then).
    ASSERT_TRUE(sim().waitForEvent("a-board", "plugged", 2));
    for (const char* fragment : {"vid_1234&pid_0001", "VID_9999", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(fragment == nullptr ? "null" : fragment);
        ASSERT_EQ(M47J53_SetUSBHandle(kBoardId), 1);
        EXPECT_EQ(M47J53_SetUSBHandle(fragment), 0);
        EXPECT_NE(M47J53_Reset(), 1);
        EXPECT_EQ(M47J53_EraseFlashData(), 0);
        EXPECT_EQ(M47J53_Set_BootLoaderMode(), 0);
        EXPECT_EQ(M47J53_QueryDevice(), 0);
    }
    settle();
    EXPECT_EQ(received(-1, "a-board").size(), 1u);  // the first reset alone
    EXPECT_TRUE(received(-1, "c-other").empty());
}

// As on the system's own bus, a device whose hardware ID cannot be read ends the search.
TEST_F(DeviceSearch, AnUnreadableHardwareIdEndsTheSearchWithFailure)
{
    startBoard();
    const std::filesystem::path hid = std::filesystem::path(sim().busDir()) / "hid";
    std::filesystem::create_directory(hid / "a-broken.id");
    std::ofstream(sim().interfacePath("a-broken")).put('\0');
    EXPECT_EQ(M47J53_SetUSBHandle(kBoardId), 0);
    std::filesystem::remove(hid / "a-broken.id");
    EXPECT_EQ(M47J53_SetUSBHandle(kBoardId), 1);
}

using BoardControl = BoardSession;

TEST_F(BoardControl, BootloaderModeSwitchSendsItsFixedPacket)
{
    startBoard();
    ASSERT_EQ(M47J53_Set_BootLoaderMode(), 1);
    platform::Report expected;
    expected.fill(0xFF);
    const std::uint8_t head[] = {0x00, 0x42, 0x4F, 0x4F, 0x54, 0x9A, 0x61, 0x5C};
    std::copy(std::begin(head), std::end(head), expected.begin());
    const std::vector<platform::Report> reports = received(-1, "board", 1);
    settle();
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(reports[0], expected);
}

TEST_F(BoardControl, ResetOfAGoneBoardReturnsTheOpenErrorAndSendsNothing)
{
    startBoard();
    ASSERT_EQ(sim().control("unplug board"), "ok");
    const std::int32_t result = M47J53_Reset();
    EXPECT_NE(result, 0);
    EXPECT_NE(result, 1);
    EXPECT_EQ(M47J53_EraseFlashData(), 0);
    settle();
    EXPECT_TRUE(received().empty());
}

using Flashing = BoardSession;

TEST_F(Flashing, FullUpdateProgramsVerifiesAndResets)
{
    startBoard("timing=full-speed,erase-ms=50,regions=1:0x1000:0x400;3:0x1FFF8:8");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    // From a folder named as users' folders often are: the path is UTF-8, not the ANSI code page.
    std::filesystem::create_directory(platform::utf8Path(sim().busDir() + "/Zoë Müller"));
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("Zoë Müller/fw.hex", firmware(1)).c_str()), 1);
    ASSERT_EQ(M47J53_UpdateFlash(), 1);
    waitUntilProgrammed(2);
    ASSERT_EQ(M47J53_VerifyFlash(), 1);
    EXPECT_EQ(M47J53_Reset(), 1);

    const std::vector<platform::Report> all = received();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[1][1], BootCmdErase);
    EXPECT_EQ(all[2][1], BootCmdQuery);

    // Two data packets, a skipped gap, then a flush before the data near the end.
    const std::vector<platform::Report> programs = received(BootCmdProgram);
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_EQ(addressOf(programs[0]), 0x1000u);
    EXPECT_EQ(addressOf(programs[1]), 0x1000u + 56);
    EXPECT_EQ(addressOf(programs[2]), 0x1000u + 18 * 56);
    std::size_t flushesBeforeLastData = 0;
    for (const platform::Report& r : all) {
        if (r == programs[2]) break;
        if (r[1] == BootCmdProgramComplete) ++flushesBeforeLastData;
    }
    EXPECT_EQ(flushesBeforeLastData, 1u);
    EXPECT_EQ(received(BootCmdProgramComplete).size(), 2u);  // the gap and the one region's end

    // Read-back covers only the program region; the last request asks for what is left.
    const std::vector<platform::Report> requests = received(BootCmdGetData);
    ASSERT_EQ(requests.size(), 19u);
    EXPECT_EQ(addressOf(requests.back()), 0x1000u + 18 * 56);
    EXPECT_EQ(requests.back()[6], 0x400 - 18 * 56);
}

TEST_F(Flashing, VerificationFindsADifferenceAndSeparateEraseAndProgramWork)
{
    startBoard("erase-ms=20,regions=1:0x1000:0x400;3:0x1FFF8:8");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("a.hex", firmware(1)).c_str()), 1);
    ASSERT_EQ(M47J53_EraseFlashData(), 1);
    ASSERT_EQ(M47J53_Transfer_FlashData(), 1);
    waitUntilProgrammed(2);
    ASSERT_EQ(M47J53_VerifyFlash(), 1);
    // The board still holds the first file.
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("b.hex", dataRecord(0x1100, {0x99})).c_str()), 1);
    EXPECT_EQ(M47J53_VerifyFlash(), 0);
    EXPECT_EQ(M47J53_LoadFirmwareFile(writeFile("missing-dir/none.hex", "").c_str()), 0);
}

// A second file replaces the first rather than being laid over it, and a file that fails to load
// leaves nothing to program: not even the part read before the bad record.
TEST_F(Flashing, EachLoadStartsBlankAndAFailedLoadLeavesNothingToProgram)
{
    startBoard("erase-ms=20,regions=1:0x1000:0x400");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("a.hex", firmware(1)).c_str()), 1);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("b.hex", dataRecord(0x1100, {0x99})).c_str()), 1);
    ASSERT_EQ(M47J53_UpdateFlash(), 1);
    waitUntilProgrammed(2);  // the flush after the blank start, and the region's end
    const std::vector<platform::Report> programs = received(BootCmdProgram);
    ASSERT_EQ(programs.size(), 1u) << "the first file's data was programmed with the second";
    EXPECT_EQ(addressOf(programs[0]), 0x1000u + 4 * 56);  // the packet holding 0x1100
    EXPECT_EQ(M47J53_VerifyFlash(), 1);

    const std::size_t sentBefore = received().size();
    const std::string halfLoaded = firmware(2) + ":0100000000FE\n" + dataRecord(0x1200, {0x55});
    EXPECT_EQ(M47J53_LoadFirmwareFile(writeFile("bad.hex", halfLoaded).c_str()), 0);
    EXPECT_EQ(M47J53_UpdateFlash(), 0);
    EXPECT_EQ(M47J53_Transfer_FlashData(), 0);
    EXPECT_EQ(M47J53_VerifyFlash(), 0);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("c.hex", firmware(3)).c_str()), 1);
    EXPECT_EQ(M47J53_LoadFirmwareFile(writeFile("missing-dir/none.hex", "").c_str()), 0);
    EXPECT_EQ(M47J53_UpdateFlash(), 0);
    settle();
    EXPECT_EQ(received().size(), sentBefore) << "the board was erased or programmed after a failed load";
}

TEST_F(Flashing, TwoByteAddressingRoundTripIgnoresPadBytes)
{
    startBoard("family=2,erase-ms=20,regions=1:0x200:0x100");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    std::vector<std::uint8_t> words = sequence(32, 0x40);
    for (std::size_t i = 3; i < words.size(); i += 4) words[i] = 0x00;  // pad bytes as tools write them
    const std::string text = dataRecord(0x400, words) + dataRecord(0x5E0, words);  // first and last 16 addresses
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("w.hex", text).c_str()), 1);
    ASSERT_EQ(M47J53_UpdateFlash(), 1);
    waitUntilProgrammed(2);
    EXPECT_EQ(M47J53_VerifyFlash(), 1);
    // 28 addresses per packet: the data sits in packets 0, 8 and 9 (the region's last 4 addresses).
    const std::vector<platform::Report> programs = received(BootCmdProgram);
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_EQ(addressOf(programs[0]), 0x200u);
    EXPECT_EQ(addressOf(programs[1]), 0x200u + 8 * 28);
    EXPECT_EQ(addressOf(programs[2]), 0x200u + 9 * 28);
    EXPECT_EQ(programs[2][6], 8);
}

// 58-byte packets hold 29 addresses, so every other one starts at an odd address. The board keeps
// no pad bytes (they read back as 0x00) while this file carries values in them.
TEST_F(Flashing, TwoByteAddressingInPacketsOfOddAddressCountsVerifies)
{
    startBoard("family=2,bpp=58,erase-ms=20,regions=1:0x200:0x40");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    const std::vector<std::uint8_t> words = sequence(32, 0x40);  // pad bytes 0x43, 0x47, ...
    const std::string text = dataRecord(0x400, words) + dataRecord(0x420, words) + dataRecord(0x440, words) +
                             dataRecord(0x460, words);  // addresses 0x200 to 0x23F: three packets
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("w.hex", text).c_str()), 1);
    ASSERT_EQ(M47J53_UpdateFlash(), 1);
    waitUntilProgrammed(1);
    EXPECT_EQ(M47J53_VerifyFlash(), 1);
    EXPECT_EQ(received(BootCmdGetData).size(), 3u);
}

TEST_F(Flashing, ASecondQueryReplacesTheLayout)
{
    startBoard("erase-ms=20,regions=1:0:0x40;1:0x100:0x40;1:0x200:0x40;1:0x300:0x40");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_Transfer_FlashData(), 1);
    settle();
    EXPECT_EQ(received(BootCmdProgramComplete, "board", 4).size(), 4u);  // one closing flush per region
}

TEST_F(Flashing, UnusableLayoutsAreRefusedAndNothingIsProgrammed)
{
    for (const char* packetSize : {"bpp=0", "bpp=59"}) {
        SCOPED_TRACE(packetSize);
        startBoard(std::string(packetSize) + ",regions=1:0:0x40");
        EXPECT_EQ(M47J53_QueryDevice(), 0);
        EXPECT_EQ(M47J53_Transfer_FlashData(), 0);
        EXPECT_EQ(M47J53_UpdateFlash(), 0);
        EXPECT_EQ(M47J53_VerifyFlash(), 0);
        settle();
        EXPECT_EQ(received().size(), 1u);  // the query alone
    }
}

TEST_F(Flashing, ProgrammingStopsAtTheFirstFailedWrite)
{
    // More reports than the socket buffers hold, at one per frame: the writes catch up with the
    // board's departure.
    startBoard("timing=full-speed,unplug-after=5,regions=1:0:0x10000");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    std::string text;
    for (std::uint32_t address = 0; address < 0x10000; address += 32)
        text += dataRecord(static_cast<std::uint16_t>(address), sequence(32));
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("fw.hex", text).c_str()), 1);
    EXPECT_EQ(M47J53_Transfer_FlashData(), 0);
    settle();
    EXPECT_LE(received().size(), 5u);
}

// A verification that fails early leaves read-back requests unanswered; their replies must not
// reach the calls that follow. Full-speed timing makes them come late, after the handles closed.
TEST_F(Flashing, ARetryAfterAFailedVerificationBehavesAsAFreshOne)
{
    startBoard("timing=full-speed,erase-ms=300,regions=1:0x1000:0x400;3:0x1FFF8:8");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    const std::string right = writeFile("right.hex", firmware(1));
    ASSERT_EQ(M47J53_LoadFirmwareFile(right.c_str()), 1);
    ASSERT_EQ(M47J53_UpdateFlash(), 1);
    waitUntilProgrammed(2);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("wrong.hex", firmware(2)).c_str()), 1);
    ASSERT_EQ(M47J53_VerifyFlash(), 0);  // differs in the first reply, with more requests in flight
    {
        platform::Report late{};
        EXPECT_EQ(openBoard(platform::HidAccess::Read).read(late, 200), platform::kErrorTimeout)
            << "a reply owed to the verification came after it";
    }

    ASSERT_EQ(M47J53_SetUSBHandle(kBoardId), 1);
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_LoadFirmwareFile(right.c_str()), 1);
    const std::size_t programsBefore = received(BootCmdProgram).size();
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(M47J53_EraseFlashData(), 1);
    EXPECT_GE(secondsSince(start), 0.3);  // the erase wait took the bootloader's answer, not a stale reply
    ASSERT_EQ(M47J53_Transfer_FlashData(), 1);
    waitUntilProgrammed(4);
    EXPECT_EQ(received(BootCmdProgram).size(), 2 * programsBefore);  // the real layout, programmed again
    EXPECT_EQ(M47J53_VerifyFlash(), 1);
}

// Read-back replies that some other client's requests draw reach every reader; the query and the
// erase wait take only the reply to their own query.
TEST_F(Flashing, QueryAndEraseWaitReadPastRepliesToOtherRequests)
{
    startBoard("timing=full-speed,erase-ms=300,regions=1:0x1000:0x400");
    platform::HidHandle other = openBoard(platform::HidAccess::Write);
    const auto sendReadBackRequests = [&other] {
        for (int i = 0; i < 3; ++i) ASSERT_EQ(other.write(readBackRequest(0x1000, 56), 1000), platform::kOk);
    };
    sendReadBackRequests();
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(M47J53_LoadFirmwareFile(writeFile("fw.hex", firmware(1)).c_str()), 1);
    sendReadBackRequests();
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(M47J53_EraseFlashData(), 1);
    EXPECT_GE(secondsSince(start), 0.3);
    ASSERT_EQ(M47J53_Transfer_FlashData(), 1);
    waitUntilProgrammed(2);
    EXPECT_EQ(M47J53_VerifyFlash(), 1);
}

using SilentBoard = BoardSession;

TEST_F(SilentBoard, QueryAndEraseGiveUpAfterTheirTimeLimits)
{
    startBoard("fault=silent");
    Clock::time_point start = Clock::now();
    EXPECT_EQ(M47J53_QueryDevice(), 0);
    EXPECT_NEAR(secondsSince(start), 3.0, 1.0);
    start = Clock::now();
    EXPECT_EQ(M47J53_EraseFlashData(), 0);
    EXPECT_NEAR(secondsSince(start), 10.0, 1.5);
}

TEST_F(SilentBoard, VerificationGivesUpAfterTenToTwentySeconds)
{
    startBoard("erase-ms=20,regions=1:0:0x400");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(sim().control("set board fault=silent"), "ok");
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(M47J53_VerifyFlash(), 0);
    const double seconds = secondsSince(start);
    EXPECT_GE(seconds, 10.0);
    EXPECT_LE(seconds, 21.5);
    EXPECT_EQ(received(BootCmdGetData).size(), 10u);  // never more than ten requests unanswered
}

}  // namespace
}  // namespace zerlin::test
