// The controller as a host meets it on the bus: acknowledgements, the image data it keeps, the
// update disk after bootloader mode, the stop tool, and the faults of each.
#include "controller_request.h"
#include "sim_bus_client.h"
#include "sim_process.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/wait.h>

namespace simtest {
namespace {

namespace fs = std::filesystem;
using lumaro::test::SimProcess;
using lumaro::test::SimRecord;

constexpr std::uint8_t kChannels = 0x05, kTemperature = 0x0F, kFan = 0x24;
constexpr std::uint8_t kStart = 0x96, kRecord = 0x97, kErase = 0x98, kBootloader = 0x9A;
const std::vector<std::uint8_t> kStartOf3{0x00, 0x00, 0x03}, kEnd{0x01, 0x00, 0x00};

std::vector<std::uint8_t> record(std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(54);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(seed * 3 + i);
    return bytes;
}

const SimRecord* findEvent(const std::vector<SimRecord>& records, const std::string& event) {
    for (const SimRecord& r : records)
        if (r.event == event) return &r;
    return nullptr;
}

std::vector<SimRecord> inReports(const std::vector<SimRecord>& records) {
    std::vector<SimRecord> in;
    for (const SimRecord& r : records)
        if (r.dir == "in") in.push_back(r);
    return in;
}

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ToolRun {
    int exitCode;
    std::string errors;
};

// As the program does it: the 64-bit build copied beside the bus as USBDeview.exe, run with
// "/stop_by_drive " and the drive, waited for.
ToolRun runStopTool(const SimProcess& sim, const std::string& drive) {
    const fs::path tool = fs::path(sim.busDir()) / "USBDeview.exe";
    fs::copy_file(fs::path(sim.busDir()) / "tools/S2", tool, fs::copy_options::overwrite_existing);
    const fs::path errors = fs::path(sim.busDir()).parent_path() / "tool-errors";
    const int status = std::system(("'" + tool.string() + "' /stop_by_drive " + drive + " 2>'" + errors.string() + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentsOf(errors)};
}

// Sends a request and waits for its acknowledgement, skipping anything else; false on time-out.
bool acknowledged(BusClient& host, const Report& request, int timeoutMs = 2000) {
    if (!host.send(request)) return false;
    while (const auto reply = host.receive(timeoutMs))
        if (isAckOf(*reply, request[5])) return true;
    return false;
}

// Erase, start, the records, end: the update job's traffic up to bootloader mode.
void sendImage(BusClient& host, const std::vector<std::vector<std::uint8_t>>& records) {
    ASSERT_TRUE(acknowledged(host, controllerRequest(kErase)));
    ASSERT_TRUE(acknowledged(host, controllerRequest(kStart, {0x00, 0x00, static_cast<std::uint8_t>(records.size())})));
    for (std::size_t i = 0; i < records.size(); ++i)
        ASSERT_TRUE(acknowledged(host, recordRequest(static_cast<std::uint16_t>(i), records[i]))) << i;
    ASSERT_TRUE(acknowledged(host, controllerRequest(kStart, kEnd)));
}

TEST(SimControllerProcess, AcknowledgesEachImageRequestOnceAndKeepsTheRecords) {
    SimProcess sim({"--controller", "ctl,erase-ms=120"});
    BusClient host(sim.busDir(), "ctl");
    sendImage(host, {record(1), record(2), record(3)});

    const auto records = sim.records();
    const auto in = inReports(records);
    ASSERT_EQ(in.size(), 6u);  // one acknowledgement per request, nothing else
    // The erase is acknowledged once its time is over, not before.
    const SimRecord* erased = findEvent(records, "image-erased");
    ASSERT_NE(erased, nullptr);
    EXPECT_GE(in[0].tMs - records[1].tMs, 119.0);
    EXPECT_GE(in[0].tMs, erased->tMs);
    const SimRecord* start = findEvent(records, "image-start");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->fields.at("digit2"), "3");
    EXPECT_EQ(findEvent(records, "image-end")->fields.at("records"), "3");

    std::vector<std::uint8_t> expected;
    for (int seed = 1; seed <= 3; ++seed) {
        const auto bytes = record(static_cast<std::uint8_t>(seed));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(sim.imageData("ctl"), expected);

    // A new erase empties the image flash.
    ASSERT_TRUE(acknowledged(host, controllerRequest(kErase)));
    EXPECT_TRUE(sim.imageData("ctl").empty());
}

TEST(SimControllerProcess, BootloaderModeShowsTheDiskAndTheStopToolBringsTheNewFirmware) {
    SimProcess sim({"--controller", "ctl,erase-ms=10,disk-ms=150"});
    const fs::path drive = fs::path(sim.busDir()) / "drives/F";
    {
        BusClient host(sim.busDir(), "ctl");
        sendImage(host, {record(5)});
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
        EXPECT_TRUE(host.seesEndOfFile());
    }
    EXPECT_FALSE(fs::exists(sim.busDir() + "/hid/ctl.sock"));
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    EXPECT_EQ(contentsOf(drive / "firmware.bin"), "tessaray firmware 1.0.0\n");
    auto records = sim.records();
    EXPECT_GE(findEvent(records, "disk-shown")->tMs - findEvent(records, "bootloader-mode")->tMs, 149.0);
    EXPECT_EQ(findEvent(records, "disk-shown")->fields.at("drive"), "F:");

    // The host's part: old firmware out, new firmware in, then the stop tool.
    fs::remove(drive / "firmware.bin");
    std::ofstream(drive / "Upfirmware.bin", std::ios::binary) << "tessaray firmware 2.0.0\n";
    const ToolRun run = runStopTool(sim, "F:");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    // Done by the time the tool ends: the drive is gone and the controller is back.
    EXPECT_FALSE(fs::exists(drive));
    EXPECT_TRUE(fs::exists(sim.busDir() + "/hid/ctl.sock"));
    records = sim.records();
    ASSERT_NE(findEvent(records, "firmware-updated"), nullptr);
    EXPECT_EQ(findEvent(records, "firmware-updated")->fields.at("bytes"), "24");
    EXPECT_EQ(findEvent(records, "disk-stopped")->fields.at("drive"), "F:");

    // It runs the new firmware, keeps its image data, and shows the new firmware next time.
    EXPECT_EQ(sim.imageData("ctl"), record(5));
    BusClient host(sim.busDir(), "ctl");
    ASSERT_TRUE(acknowledged(host, controllerRequest(kStart, kStartOf3)));
    ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown", 2));
    EXPECT_EQ(contentsOf(drive / "firmware.bin"), "tessaray firmware 2.0.0\n");
}

TEST(SimControllerProcess, StopToolRefusesADriveThatIsNotTheUpdateDisk) {
    SimProcess sim({"--controller", "ctl,disk-ms=0,disk-letter=G"});
    fs::create_directories(fs::path(sim.busDir()) / "drives/F");  // someone else's stick
    ToolRun run = runStopTool(sim, "F:");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.errors.find("F: is not the update disk"), std::string::npos) << run.errors;
    EXPECT_TRUE(fs::exists(fs::path(sim.busDir()) / "drives/F"));

    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    EXPECT_TRUE(fs::exists(fs::path(sim.busDir()) / "drives/G/firmware.bin"));
    run = runStopTool(sim, "");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("usage"), std::string::npos);
    // Without a new firmware file the controller comes back as it was.
    EXPECT_EQ(runStopTool(sim, "g:").exitCode, 0);
    EXPECT_NE(findEvent(sim.records(), "firmware-unchanged"), nullptr);
    EXPECT_TRUE(fs::exists(sim.busDir() + "/hid/ctl.sock"));
}

// Windows hosts cannot run the tool: they create drives/<L>.stop and wait for the answer.
TEST(SimControllerProcess, AStopFileStopsTheDiskAsTheToolDoes) {
    SimProcess sim({"--controller", "ctl,disk-ms=0"});
    const fs::path drives = fs::path(sim.busDir()) / "drives";
    {
        BusClient host(sim.busDir(), "ctl", "b", Transport::Tcp);
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    fs::remove(drives / "F/firmware.bin");
    std::ofstream(drives / "F/Upfirmware.bin", std::ios::binary) << "tessaray firmware 2.0.0\n";

    std::ofstream(drives / "F.stop").close();
    ASSERT_TRUE(waitUntil([&] { return !fs::exists(drives / "F.stop"); }));
    // The drive went first, and the controller is back for both kinds of host.
    EXPECT_FALSE(fs::exists(drives / "F"));
    EXPECT_TRUE(fs::exists(sim.busDir() + "/hid/ctl.tcp") && fs::exists(sim.busDir() + "/hid/ctl.sock"));
    const auto records = sim.records();
    const SimRecord* updated = findEvent(records, "firmware-updated");
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(updated->fields.at("bytes"), "24");
}

TEST(SimControllerProcess, AStopFileForADriveThatIsNotTheUpdateDiskIsRefused) {
    SimProcess sim({"--controller", "ctl,disk-ms=0,disk-letter=G"});
    const fs::path drives = fs::path(sim.busDir()) / "drives";
    fs::create_directories(drives / "F");  // someone else's stick
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    for (const char* request : {"F.stop", "H.stop"}) {  // a stick, and no drive at all
        std::ofstream(drives / request).close();
        EXPECT_TRUE(waitUntil([&] { return contentsOf(drives / request) == "refused"; })) << request;
    }
    EXPECT_TRUE(fs::exists(drives / "F"));
    EXPECT_TRUE(fs::exists(drives / "G/firmware.bin"));
    EXPECT_EQ(findEvent(sim.records(), "disk-stopped"), nullptr);

    // Once the host has taken its answer away, the update disk still stops.
    fs::remove(drives / "F.stop");
    std::ofstream(drives / "g.stop").close();
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(drives / "g.stop") && !fs::exists(drives / "G"); }));
    EXPECT_NE(findEvent(sim.records(), "firmware-unchanged"), nullptr);
}

TEST(SimControllerProcess, UnpluggedInItsBootloaderTheDiskGoesAndPlugBringsTheOldFirmware) {
    SimProcess sim({"--controller", "ctl,disk-ms=0"});
    const fs::path drive = fs::path(sim.busDir()) / "drives/F";
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    std::ofstream(drive / "Upfirmware.bin") << "half written";
    ASSERT_EQ(sim.control("unplug ctl"), "ok");
    EXPECT_FALSE(fs::exists(drive));
    EXPECT_EQ(sim.control("unplug ctl"), "error ctl is not plugged");
    ASSERT_EQ(sim.control("plug ctl"), "ok");
    EXPECT_EQ(findEvent(sim.records(), "firmware-updated"), nullptr);
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown", 2));
    EXPECT_EQ(contentsOf(drive / "firmware.bin"), "tessaray firmware 1.0.0\n");
}

// The thermistor bytes, the twelve channels and the fan's rpm of one round of the recorder's requests.
struct Round {
    std::vector<int> temperatures;
    std::vector<int> channels;
    int rpm = 0;
};

Round measureRound(BusClient& host, int arrays) {
    Round round;
    auto ask = [&](std::uint8_t command, std::size_t endOffset) {
        EXPECT_TRUE(host.send(controllerRequest(command)));
        const auto reply = host.receive();
        EXPECT_TRUE(reply);
        Report r = reply.value_or(Report{});
        EXPECT_EQ(r[1], 0xA9);
        EXPECT_EQ(r[5], command);
        EXPECT_EQ(r[endOffset], 0x5C);
        return r;
    };
    const Report t = ask(kTemperature, 9);
    for (int i = 0; i <= arrays; ++i) round.temperatures.push_back(t[6 + i]);
    const Report c = ask(kChannels, 31);
    for (int i = 0; i < 12; ++i) round.channels.push_back(c[6 + 2 * i] | c[7 + 2 * i] << 8);
    const Report f = ask(kFan, 9);
    round.rpm = 300000 / ((f[6] | f[7] << 8) & 0x7FFF);
    return round;
}

TEST(SimControllerProcess, MeasurementsArePlausibleAndChangeSlowly) {
    for (const int arrays : {1, 2}) {
        SimProcess sim({"--controller", "ctl,seed=11,arrays=" + std::to_string(arrays)});
        BusClient host(sim.busDir(), "ctl");
        const Round first = measureRound(host, arrays);
        ASSERT_EQ(first.temperatures.size(), static_cast<std::size_t>(arrays + 1));
        // Raw thermistor bytes: 128 to 146 is 38 to 46 degrees C, 169 to 180 is 23 to 27.
        for (int i = 0; i < arrays; ++i) EXPECT_TRUE(first.temperatures[i] >= 128 && first.temperatures[i] <= 146);
        EXPECT_TRUE(first.temperatures.back() >= 169 && first.temperatures.back() <= 180);
        for (int value : first.channels) EXPECT_TRUE(value > 0 && value < 4096) << value;
        EXPECT_TRUE(first.rpm >= 1600 && first.rpm <= 2000) << first.rpm;

        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const Round later = measureRound(host, arrays);
        for (std::size_t i = 0; i < first.temperatures.size(); ++i)
            EXPECT_LE(std::abs(later.temperatures[i] - first.temperatures[i]), 1);
        for (std::size_t i = 0; i < first.channels.size(); ++i)
            EXPECT_LE(std::abs(later.channels[i] - first.channels[i]), 10);
        EXPECT_NE(later.channels, first.channels);
        EXPECT_LE(std::abs(later.rpm - first.rpm), 20);
    }
}

TEST(SimControllerProcess, FullSpeedAnswersInALaterFrame) {
    SimProcess sim({"--controller", "ctl,timing=full-speed,erase-ms=0"});
    BusClient host(sim.busDir(), "ctl");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(host.send(controllerRequest(kTemperature)));
    ASSERT_TRUE(acknowledged(host, controllerRequest(kErase)));
    const auto records = sim.records();
    std::vector<double> out, in;
    for (const SimRecord& r : records) {
        if (r.dir == "out") out.push_back(r.tMs);
        if (r.dir == "in") in.push_back(r.tMs);
    }
    ASSERT_EQ(out.size(), 6u);
    ASSERT_EQ(in.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_GT(std::floor(in[i]), std::floor(out[i])) << i;
        if (i > 0) {
            EXPECT_GT(std::floor(out[i]), std::floor(out[i - 1])) << "one request per frame";
        }
    }
}

TEST(SimControllerFaults, NoAckTakesEveryRequestAndAcknowledgesNone) {
    SimProcess sim({"--controller", "ctl,fault=no-ack,erase-ms=0"});
    BusClient host(sim.busDir(), "ctl");
    EXPECT_FALSE(acknowledged(host, controllerRequest(kErase), 300));
    EXPECT_FALSE(acknowledged(host, recordRequest(0, record(1)), 100));
    EXPECT_EQ(sim.imageData("ctl"), record(1));  // taken all the same
    ASSERT_TRUE(host.send(controllerRequest(kFan)));  // measurements are still answered
    EXPECT_TRUE(host.receive());
    ASSERT_EQ(sim.control("set ctl fault=none"), "ok");
    EXPECT_TRUE(acknowledged(host, controllerRequest(kErase)));
}

TEST(SimControllerFaults, WrongAcknowledgementsComeFirstThenTheRightOne) {
    for (const char* timing : {"none", "full-speed"}) {
        SimProcess sim({"--controller", std::string("ctl,erase-ms=0,wrong-acks=2,timing=") + timing});
        BusClient host(sim.busDir(), "ctl");
        for (const Report& request : {controllerRequest(kErase), controllerRequest(kStart, kStartOf3)}) {
            const auto wrong = host.receive(0);
            EXPECT_FALSE(wrong) << "nothing before the request";
            ASSERT_TRUE(host.send(request));
            const auto first = host.receive();
            const auto second = host.receive();
            ASSERT_TRUE(first && second) << timing;
            EXPECT_FALSE(isAckOf(*first, request[5]));
            EXPECT_EQ((*first)[5], request[5] ^ 0x01) << "echoes a neighbouring command";
            EXPECT_TRUE(isAckOf(*second, request[5]));
        }
        // The fault is used up: the third request gets its acknowledgement alone.
        ASSERT_TRUE(host.send(recordRequest(0, record(1))));
        const auto only = host.receive();
        ASSERT_TRUE(only);
        EXPECT_TRUE(isAckOf(*only, kRecord));
        EXPECT_FALSE(host.receive(100));
        ASSERT_EQ(sim.control("set ctl wrong-acks=1"), "ok");
        ASSERT_TRUE(host.send(recordRequest(1, record(2))));
        EXPECT_FALSE(isAckOf(*host.receive(), kRecord));
    }
}

TEST(SimControllerFaults, UnplugInTheMiddleOfTheImageDataKeepsWhatCameBefore) {
    // The erase, the start and two records get through; the third record's report pulls it out.
    SimProcess sim({"--controller", "ctl,erase-ms=0,unplug-after=5"});
    BusClient host(sim.busDir(), "ctl");
    ASSERT_TRUE(acknowledged(host, controllerRequest(kErase)));
    ASSERT_TRUE(acknowledged(host, controllerRequest(kStart, kStartOf3)));
    ASSERT_TRUE(acknowledged(host, recordRequest(0, record(1))));
    ASSERT_TRUE(acknowledged(host, recordRequest(1, record(2))));
    ASSERT_TRUE(host.send(recordRequest(2, record(3))));
    EXPECT_TRUE(host.seesEndOfFile());
    EXPECT_FALSE(fs::exists(sim.busDir() + "/hid/ctl.sock"));
    std::vector<std::uint8_t> expected = record(1);
    const auto second = record(2);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(sim.imageData("ctl"), expected);
}

TEST(SimControllerFaults, NoDiskOrADiskThatRefusesTheCopy) {
    SimProcess sim({"--controller", "ctl,disk-ms=50,disk=none"});
    const fs::path drive = fs::path(sim.busDir()) / "drives/F";
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
        EXPECT_TRUE(host.seesEndOfFile());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_FALSE(fs::exists(fs::path(sim.busDir()) / "drives") && !fs::is_empty(fs::path(sim.busDir()) / "drives"));
    EXPECT_EQ(findEvent(sim.records(), "disk-shown"), nullptr);

    ASSERT_EQ(sim.control("set ctl disk=refuse"), "ok");
    ASSERT_EQ(sim.control("plug ctl"), "ok");
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    }
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
    EXPECT_TRUE(fs::exists(drive / "firmware.bin"));
    std::ofstream copy(drive / "Upfirmware.bin", std::ios::binary);
    EXPECT_FALSE(copy.is_open() && (copy << "new firmware").flush());
    EXPECT_EQ(runStopTool(sim, "F:").exitCode, 0);
    EXPECT_NE(findEvent(sim.records(), "firmware-unchanged"), nullptr);
}

TEST(SimControllerFaults, SilentControllerAnswersNothing) {
    SimProcess sim({"--controller", "ctl,fault=silent,erase-ms=0"});
    BusClient host(sim.busDir(), "ctl");
    EXPECT_FALSE(acknowledged(host, controllerRequest(kErase), 300));
    ASSERT_TRUE(host.send(controllerRequest(kTemperature)));
    EXPECT_FALSE(host.receive(100));
    ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    EXPECT_FALSE(host.seesEndOfFile(200));  // not even bootloader mode
}

}  // namespace
}  // namespace simtest
