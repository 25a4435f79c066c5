// Windows hosts on the bus: the same conversation over loopback TCP, where the stream keeps no
// report boundaries, beside the Linux hosts on the Unix socket.
#include "sim_bus_client.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace simtest {
namespace {

using lumaro::test::SimProcess;
using lumaro::test::SimRecord;

constexpr std::uint8_t kQuery = 0x02, kGetData = 0x07;

std::vector<std::uint8_t> bytesOf(std::initializer_list<Report> reports) {
    std::vector<std::uint8_t> bytes;
    for (const Report& report : reports) bytes.insert(bytes.end(), report.begin(), report.end());
    return bytes;
}

std::vector<SimRecord> reportsOf(const std::vector<SimRecord>& records, const std::string& dir) {
    std::vector<SimRecord> selected;
    for (const SimRecord& r : records)
        if (r.dir == dir) selected.push_back(r);
    return selected;
}

TEST(SimTcpClient, TakesReportsCutAnywhereInTheStream) {
    SimProcess sim({"--board", "board"});
    BusClient host(sim.busDir(), "board", "", Transport::Tcp);
    ASSERT_TRUE(host.connected());

    // The access byte and the first part of a query together, the rest later.
    std::vector<std::uint8_t> stream{'b'};
    const Report query = bootRequest(kQuery);
    stream.insert(stream.end(), query.begin(), query.end());
    ASSERT_TRUE(host.sendBytes(stream.data(), 31));
    EXPECT_FALSE(host.receive(150)) << "answered part of a report";
    ASSERT_TRUE(host.sendBytes(stream.data() + 31, stream.size() - 31));
    auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[1], kQuery);
    EXPECT_EQ((*reply)[2], 56);

    // Two requests back to back, cut in three pieces that do not follow their boundaries.
    const auto pair = bytesOf({bootRequest(kGetData, 0x1000, 4), bootRequest(kGetData, 0x1004, 8)});
    ASSERT_TRUE(host.sendBytes(pair.data(), 1));
    ASSERT_TRUE(host.sendBytes(pair.data() + 1, 90));
    ASSERT_TRUE(host.sendBytes(pair.data() + 91, pair.size() - 91));
    for (const int count : {4, 8}) {
        reply = host.receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ((*reply)[1], kGetData);
        EXPECT_EQ((*reply)[6], count);
    }
    const auto records = sim.records();
    ASSERT_EQ(reportsOf(records, "out").size(), 3u);
    EXPECT_EQ(reportsOf(records, "out")[2].report, bootRequest(kGetData, 0x1004, 8));
}

TEST(SimTcpClient, UnixAndTcpHostsShareTheInputReports) {
    SimProcess sim({"--board", "board"});
    BusClient linuxHost(sim.busDir(), "board", "b");
    BusClient windowsReader(sim.busDir(), "board", "r", Transport::Tcp);
    BusClient windowsHost(sim.busDir(), "board", "b", Transport::Tcp);

    ASSERT_TRUE(linuxHost.send(bootRequest(kQuery)));
    const auto answer = linuxHost.receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(windowsReader.receive(), answer);
    EXPECT_EQ(windowsHost.receive(), answer);

    ASSERT_TRUE(windowsHost.send(bootRequest(kGetData, 0x1000, 2)));
    const auto readBack = windowsHost.receive();
    ASSERT_TRUE(readBack);
    EXPECT_EQ((*readBack)[1], kGetData);
    EXPECT_EQ(linuxHost.receive(), readBack);
    EXPECT_EQ(windowsReader.receive(), readBack);
}

TEST(SimTcpClient, ProtocolErrorsCloseThatConnectionOnly) {
    SimProcess sim({"--board", "board"});
    BusClient good(sim.busDir(), "board", "b", Transport::Tcp);
    BusClient badAccess(sim.busDir(), "board", "x", Transport::Tcp);
    EXPECT_TRUE(badAccess.seesEndOfFile());
    {
        BusClient cutShort(sim.busDir(), "board", "b", Transport::Tcp);
        const Report query = bootRequest(kQuery);
        ASSERT_TRUE(cutShort.sendBytes(query.data(), 40));
    }
    BusClient reader(sim.busDir(), "board", "r", Transport::Tcp);
    ASSERT_TRUE(reader.send(bootRequest(kQuery)));
    EXPECT_FALSE(good.receive(200)) << "a reader's report was taken";

    ASSERT_TRUE(good.send(bootRequest(kQuery)));
    EXPECT_TRUE(good.receive());
    ASSERT_TRUE(sim.waitForEvent("board", "protocol-error", 3));
    EXPECT_EQ(reportsOf(sim.records(), "out").size(), 1u);
}

TEST(SimTcpClient, AReaderThatNeverReadsLosesWholeReportsAndHoldsNothingUp) {
    SimProcess sim({"--board", "board"});
    BusClient sleeper(sim.busDir(), "board", "r", Transport::Tcp);
    BusClient host(sim.busDir(), "board", "b", Transport::Tcp);
    // Far more answers than the loopback connection buffers, so that its socket fills, takes
    // reports in part and turns others away.
    constexpr int kExchanges = 3000;
    for (int i = 0; i < kExchanges; ++i) {
        ASSERT_TRUE(host.send(bootRequest(kGetData, static_cast<std::uint32_t>(i), 1)));
        ASSERT_TRUE(host.receive()) << "answer " << i;
    }
    const std::vector<std::uint8_t> received = sleeper.receiveUntilQuiet(300);
    ASSERT_EQ(received.size() % platform::kReportSize, 0u);
    const std::size_t reports = received.size() / platform::kReportSize;
    EXPECT_GT(reports, 0u);
    EXPECT_LT(reports, static_cast<std::size_t>(kExchanges)) << "nothing was dropped";
    // Whole answers, in the order they were sent: each one a read-back of a later address.
    long last = -1;
    for (std::size_t at = 0; at < received.size(); at += platform::kReportSize) {
        ASSERT_EQ(received[at + 1], kGetData) << "report " << at / platform::kReportSize;
        const long address = received[at + 2] | received[at + 3] << 8;
        EXPECT_GT(address, last);
        last = address;
    }
}

TEST(SimTcpClient, FullSpeedTimingAndTheRecordAreTheSameOverTcp) {
    SimProcess sim({"--board", "board,timing=full-speed"});
    BusClient host(sim.busDir(), "board", "b", Transport::Tcp);
    constexpr int kRequests = 20;
    std::vector<std::uint8_t> burst;
    for (int i = 0; i < kRequests; ++i) {
        const Report request = bootRequest(kGetData, 0x1000 + static_cast<std::uint32_t>(i), 4);
        burst.insert(burst.end(), request.begin(), request.end());
    }
    ASSERT_TRUE(host.sendBytes(burst.data(), burst.size()));
    for (int i = 0; i < kRequests; ++i) {
        const auto reply = host.receive();
        ASSERT_TRUE(reply) << i;
        EXPECT_EQ((*reply)[2], static_cast<std::uint8_t>(i));
    }
    const auto records = sim.records();
    const auto out = reportsOf(records, "out");
    const auto in = reportsOf(records, "in");
    ASSERT_EQ(out.size(), static_cast<std::size_t>(kRequests));
    ASSERT_EQ(in.size(), static_cast<std::size_t>(kRequests));
    auto frame = [](const SimRecord& r) { return static_cast<long>(std::floor(r.tMs)); };
    std::map<long, int> outPerFrame;
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(out[i].report[2], static_cast<std::uint8_t>(i));
        EXPECT_GT(frame(in[i]), frame(out[i])) << "answer " << i << " in the frame of its request";
        EXPECT_EQ(++outPerFrame[frame(out[i])], 1) << "two requests taken in frame " << frame(out[i]);
    }
}

}  // namespace
}  // namespace simtest
