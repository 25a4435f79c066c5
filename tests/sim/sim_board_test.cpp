// The "47J53" board as a host meets it on the bus: its answers, its erase time, its reset, its
// faults, its full-speed timing and its controller link.
#include "controller_request.h"
#include "sim_bus_client.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

namespace simtest {
namespace {

namespace fs = std::filesystem;
using lumaro::test::SimProcess;
using lumaro::test::SimRecord;

constexpr std::uint8_t kQuery = 0x02, kErase = 0x04, kProgram = 0x05, kProgramComplete = 0x06, kGetData = 0x07,
                       kReset = 0x08;

std::vector<SimRecord> select(const std::vector<SimRecord>& records, const std::string& dir,
                              const std::string& event = "") {
    std::vector<SimRecord> selected;
    for (const SimRecord& r : records)
        if (r.dir == dir && r.event == event) selected.push_back(r);
    return selected;
}

const SimRecord* findEvent(const std::vector<SimRecord>& records, const std::string& event, int nth = 1) {
    for (const SimRecord& r : records)
        if (r.event == event && --nth == 0) return &r;
    return nullptr;
}

std::vector<std::uint8_t> dataOf(const Report& reply) { return {reply.end() - reply[6], reply.end()}; }

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return bytes;
}

TEST(SimBoardProcess, AnswersTheQueryWithItsLayout) {
    SimProcess sim({"--board", "board,family=2,bpp=48,regions=1:0x400:0x200;3:0xF80000:12"});
    BusClient host(sim.busDir(), "board");
    ASSERT_TRUE(host.send(bootRequest(kQuery)));
    const auto reply = host.receive();
    ASSERT_TRUE(reply);
    const std::vector<std::uint8_t> head(reply->begin(), reply->begin() + 23);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0, 0x02, 48, 2, 1, 0x00, 0x04, 0, 0, 0x00, 0x02, 0, 0, 3, 0x00, 0x00,
                                               0xF8, 0, 12, 0, 0, 0, 0xFF}));
}

TEST(SimBoardProcess, ProgramsAndReadsBackAndFlagsAJumpingPacket) {
    SimProcess sim({"--board", "board"});
    BusClient host(sim.busDir(), "board");
    const auto first = pattern(56, 1), second = pattern(44, 99);
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x1000, 56, first)));
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x1038, 44, second)));
    ASSERT_TRUE(host.send(bootRequest(kProgramComplete)));
    ASSERT_TRUE(host.send(bootRequest(kGetData, 0x1000, 56)));
    ASSERT_TRUE(host.send(bootRequest(kGetData, 0x1038, 44)));
    auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[1], kGetData);
    EXPECT_EQ(dataOf(*reply), first);
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[2], 0x38);
    EXPECT_EQ(dataOf(*reply), second);
    EXPECT_EQ(findEvent(sim.records(), "framing-error"), nullptr);

    // A packet that skips ahead without a ProgramComplete lands where the run goes on.
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x2000, 4, {1, 2, 3, 4})));
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x3000, 2, {5, 6})));
    ASSERT_TRUE(host.send(bootRequest(kGetData, 0x3000, 2)));
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(dataOf(*reply), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    EXPECT_NE(findEvent(sim.records(), "framing-error"), nullptr);
}

TEST(SimBoardProcess, EraseHoldsBackTheNextAnswerForTheEraseTime) {
    SimProcess sim({"--board", "board,erase-ms=150"});
    BusClient host(sim.busDir(), "board");
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x1000, 2, {0x12, 0x34})));
    ASSERT_TRUE(host.send(bootRequest(kErase)));
    ASSERT_TRUE(host.send(bootRequest(kQuery)));
    ASSERT_TRUE(host.receive());
    ASSERT_TRUE(host.send(bootRequest(kGetData, 0x1000, 2)));
    const auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(dataOf(*reply), (std::vector<std::uint8_t>{0xFF, 0xFF}));

    const auto records = sim.records();
    const auto out = select(records, "out");
    const auto in = select(records, "in");
    ASSERT_GE(out.size(), 3u);
    ASSERT_FALSE(in.empty());
    const SimRecord* erased = findEvent(records, "erased");
    ASSERT_NE(erased, nullptr);
    EXPECT_GE(erased->tMs - out[1].tMs, 149.0);
    EXPECT_GE(out[2].tMs, erased->tMs);  // the query waited in the socket until the erase was over
    EXPECT_GE(in[0].tMs, erased->tMs);
}

TEST(SimBoardProcess, ResetLeavesAndComesBackWithItsFlash) {
    SimProcess sim({"--board", "board,reset-ms=120"});
    {
        BusClient host(sim.busDir(), "board");
        ASSERT_TRUE(host.send(bootRequest(kProgram, 0x1000, 3, {7, 8, 9})));
        ASSERT_TRUE(host.send(bootRequest(kReset)));
        EXPECT_TRUE(host.seesEndOfFile());
    }
    ASSERT_TRUE(sim.waitForEvent("board", "plugged", 2));
    const auto records = sim.records();
    const SimRecord* reset = findEvent(records, "reset");
    const SimRecord* back = findEvent(records, "plugged", 2);
    ASSERT_NE(reset, nullptr);
    ASSERT_NE(findEvent(records, "unplugged"), nullptr);
    EXPECT_GE(back->tMs - reset->tMs, 119.0);

    BusClient host(sim.busDir(), "board");
    // A fresh device: a packet anywhere starts a new run.
    ASSERT_TRUE(host.send(bootRequest(kProgram, 0x1010, 1, {0x42})));
    ASSERT_TRUE(host.send(bootRequest(kGetData, 0x1000, 3)));
    const auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(dataOf(*reply), (std::vector<std::uint8_t>{7, 8, 9}));
    EXPECT_EQ(findEvent(sim.records(), "framing-error"), nullptr);
}

TEST(SimBoardProcess, SilentBoardTakesReportsAndAnswersNothingUntilTheFaultIsCleared) {
    SimProcess sim({"--board", "board,fault=silent"});
    BusClient host(sim.busDir(), "board");
    ASSERT_TRUE(host.send(bootRequest(kQuery)));
    EXPECT_FALSE(host.receive(300));
    ASSERT_EQ(select(sim.records(), "out").size(), 1u);
    ASSERT_EQ(sim.control("set board fault=none"), "ok");
    ASSERT_TRUE(host.send(bootRequest(kQuery)));
    EXPECT_TRUE(host.receive());
}

TEST(SimBoardProcess, UnplugAfterLeavesOnTheNthReportWithoutCarryingItOut) {
    SimProcess sim({"--board", "board,unplug-after=3"});
    BusClient host(sim.busDir(), "board");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(host.send(bootRequest(kQuery)));
    EXPECT_TRUE(host.receive());
    EXPECT_TRUE(host.receive());
    EXPECT_TRUE(host.seesEndOfFile());
    EXPECT_FALSE(fs::exists(sim.busDir() + "/hid/board.sock"));
    EXPECT_FALSE(fs::exists(sim.busDir() + "/hid/board.id"));
    const auto records = sim.records();
    EXPECT_EQ(select(records, "out").size(), 3u);
    EXPECT_EQ(select(records, "in").size(), 2u);

    // The fault fired once; plugged in again the board serves on.
    ASSERT_EQ(sim.control("plug board"), "ok");
    BusClient again(sim.busDir(), "board");
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(again.send(bootRequest(kQuery)));
        EXPECT_TRUE(again.receive());
    }
}

TEST(SimBoardProcess, FullSpeedTakesAndAnswersOneReportPerFrameEachAfterItsRequest) {
    SimProcess sim({"--board", "board,timing=full-speed"});
    BusClient host(sim.busDir(), "board");
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) ASSERT_TRUE(host.send(bootRequest(kGetData, 0x1000 + i, 4)));
    for (int i = 0; i < kRequests; ++i) {
        const auto reply = host.receive();
        ASSERT_TRUE(reply) << i;
        EXPECT_EQ((*reply)[2], static_cast<std::uint8_t>(i));  // in order
    }
    const auto records = sim.records();
    const auto out = select(records, "out");
    const auto in = select(records, "in");
    ASSERT_EQ(out.size(), static_cast<std::size_t>(kRequests));
    ASSERT_EQ(in.size(), static_cast<std::size_t>(kRequests));
    auto frame = [](const SimRecord& r) { return static_cast<long>(std::floor(r.tMs)); };
    std::map<long, int> outPerFrame, inPerFrame;
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_GT(frame(in[i]), frame(out[i])) << "answer " << i << " in the frame of its request";
        EXPECT_EQ(++outPerFrame[frame(out[i])], 1) << "two requests taken in frame " << frame(out[i]);
        EXPECT_EQ(++inPerFrame[frame(in[i])], 1) << "two answers sent in frame " << frame(in[i]);
    }
}

TEST(SimBoardProcess, FullSpeedEraseStillHoldsBackTheQuery) {
    SimProcess sim({"--board", "board,timing=full-speed,erase-ms=60"});
    BusClient host(sim.busDir(), "board");
    ASSERT_TRUE(host.send(bootRequest(kErase)));
    ASSERT_TRUE(host.send(bootRequest(kQuery)));
    ASSERT_TRUE(host.receive());
    const auto records = sim.records();
    const SimRecord* erased = findEvent(records, "erased");
    ASSERT_NE(erased, nullptr);
    const auto out = select(records, "out");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_GE(out[1].tMs, erased->tMs);
    EXPECT_GT(std::floor(select(records, "in").at(0).tMs), std::floor(out[1].tMs));
}

// The engineering page's road: the board is found and measured as a controller, reset through its
// bootloader, and found again when it comes back.
TEST(SimBoardProcess, AnswersTheControllerLinkAndItsBootloaderAcrossAReset) {
    SimProcess sim({"--board", "board,erase-ms=40,reset-ms=100"});
    auto measured = [&](BusClient& host) {
        EXPECT_TRUE(host.send(controllerRequest(0x05)));
        const auto reply = host.receive();
        return reply && (*reply)[1] == 0xA9 && (*reply)[5] == 0x05 && (*reply)[31] == 0x5C;
    };
    {
        BusClient host(sim.busDir(), "board");
        EXPECT_TRUE(measured(host));
        ASSERT_TRUE(host.send(controllerRequest(0x98)));
        const auto ack = host.receive();
        ASSERT_TRUE(ack);
        EXPECT_TRUE(isAckOf(*ack, 0x98));
        ASSERT_TRUE(host.send(bootRequest(kQuery)));
        const auto query = host.receive();
        ASSERT_TRUE(query);
        EXPECT_EQ((*query)[1], kQuery);
        ASSERT_TRUE(host.send(bootRequest(kReset)));
        EXPECT_TRUE(host.seesEndOfFile());
    }
    ASSERT_TRUE(sim.waitForEvent("board", "plugged", 2));
    BusClient host(sim.busDir(), "board");
    EXPECT_TRUE(measured(host));
    const SimRecord* erased = findEvent(sim.records(), "image-erased");
    ASSERT_NE(erased, nullptr);
}

}  // namespace
}  // namespace simtest
