// Running the simulator: its command line, the control socket and its client, stopping, the record.
#include "sim_bus_client.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <sys/wait.h>

namespace simtest {
namespace {

namespace fs = std::filesystem;
using lumaro::test::SimProcess;

struct RunResult {
    int exitCode;
    std::string output;  // stdout and stderr together
};

RunResult runSim(const std::string& arguments) {
    const fs::path out = fs::temp_directory_path() / ("lumaro-sim-run-" + std::to_string(::getpid()));
    const int status = std::system((std::string(LUMARO_SIM_PATH) + " " + arguments + " >" + out.string() + " 2>&1").c_str());
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(out);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(SimControl, PlugUnplugAndSetAnswerOkOrTheReason) {
    SimProcess sim({"--board", "board", "--controller", "ctl,unplugged"});
    const std::string hid = sim.busDir() + "/hid/";
    EXPECT_FALSE(fs::exists(hid + "ctl.sock"));
    EXPECT_EQ(sim.control("plug ctl"), "ok");
    EXPECT_TRUE(fs::exists(hid + "ctl.sock") && fs::exists(hid + "ctl.id"));
    EXPECT_EQ(sim.control("plug ctl"), "error ctl is plugged already");
    EXPECT_EQ(sim.control("unplug board"), "ok");
    EXPECT_FALSE(fs::exists(hid + "board.sock") || fs::exists(hid + "board.id"));
    EXPECT_EQ(sim.control("unplug board"), "error board is not plugged");
    EXPECT_EQ(sim.control("plug nothing"), "error no device named 'nothing'");
    EXPECT_EQ(sim.control("set ctl timing=full-speed"), "ok");
    EXPECT_EQ(sim.control("set ctl colour=red").rfind("error ", 0), 0u);
    EXPECT_EQ(sim.control("set ctl unplug-after=many").rfind("error ", 0), 0u);
    EXPECT_EQ(sim.control("dance").rfind("error unknown command", 0), 0u);
}

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(SimControl, APortSetAtRunTimeCountsFromTheDevicesNextAppearance) {
    SimProcess sim({"--controller", "ctl", "--stick", "stick"});
    const fs::path bus = sim.busDir();
    EXPECT_EQ(firstLineOf(bus / "hid/ctl.port"), "1-1");
    EXPECT_EQ(firstLineOf(bus / "drives/F.port"), "1-2");

    // Moved to another port: unplugged here, plugged in there.
    EXPECT_EQ(sim.control("set ctl port=3-2.1"), "ok");
    EXPECT_EQ(sim.control("set stick port=4-1"), "ok");
    EXPECT_EQ(firstLineOf(bus / "hid/ctl.port"), "1-1");
    for (const char* device : {"ctl", "stick"}) {
        EXPECT_EQ(sim.control(std::string("unplug ") + device), "ok");
        EXPECT_EQ(sim.control(std::string("plug ") + device), "ok");
    }
    EXPECT_EQ(firstLineOf(bus / "hid/ctl.port"), "3-2.1");
    EXPECT_EQ(firstLineOf(bus / "drives/F.port"), "4-1");

    // On a system that cannot tell.
    EXPECT_EQ(sim.control("set ctl port="), "ok");
    EXPECT_EQ(sim.control("unplug ctl"), "ok");
    EXPECT_EQ(sim.control("plug ctl"), "ok");
    EXPECT_TRUE(fs::exists(bus / "hid/ctl.id"));
    EXPECT_FALSE(fs::exists(bus / "hid/ctl.port"));

    EXPECT_EQ(sim.control("set ctl port=1 2").rfind("error ", 0), 0u);  // two words: not a set command
    EXPECT_EQ(sim.control("set ctl port=1,2").rfind("error port: ", 0), 0u);
    EXPECT_EQ(sim.control("set stick fault=silent").rfind("error ", 0), 0u);
    EXPECT_EQ(sim.control("dump stick " + (bus / "stick.image").string()), "error stick has no image flash");
}

TEST(SimControl, HelpNamesThePortsAndTheStick) {
    const RunResult help = runSim("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"--stick NAME", "port=PORT", "letter=L", "file=FILE", "set NAME key=value (port;"})
        EXPECT_NE(help.output.find(part), std::string::npos) << part;
}

TEST(SimControl, UnplugDuringAResetKeepsTheBoardAway) {
    SimProcess sim({"--board", "board,reset-ms=100"});
    {
        BusClient host(sim.busDir(), "board");
        ASSERT_TRUE(host.send(bootRequest(0x08)));
        ASSERT_TRUE(host.seesEndOfFile());
    }
    EXPECT_EQ(sim.control("unplug board"), "ok");
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_FALSE(fs::exists(sim.busDir() + "/hid/board.sock"));
}

TEST(SimControl, CtlClientPrintsTheAnswerAndExitsByIt) {
    SimProcess sim({"--board", "board"});
    RunResult ok = runSim("ctl --bus " + sim.busDir() + " unplug board");
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.output, "ok\n");
    RunResult refused = runSim("ctl --control " + sim.controlPath() + " unplug board");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "error board is not plugged\n");
    EXPECT_EQ(runSim("ctl --bus " + sim.busDir() + "/nowhere plug board").exitCode, 1);
}

TEST(SimControl, QuitAndSigtermTakeEveryDeviceOffTheBus) {
    for (const bool byQuit : {true, false}) {
        SimProcess sim({"--board", "board", "--controller", "ctl"});
        BusClient host(sim.busDir(), "board");
        if (byQuit) {
            EXPECT_EQ(sim.control("quit"), "ok");
        }
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_TRUE(host.seesEndOfFile());
        EXPECT_TRUE(fs::is_empty(sim.busDir() + "/hid"));
        EXPECT_FALSE(fs::exists(sim.controlPath()));
    }
}

TEST(SimControl, BadCommandLinesExitWith2AndSayWhy) {
    const fs::path bus = fs::temp_directory_path() / ("lumaro-sim-bad-" + std::to_string(::getpid()));
    const std::vector<std::pair<std::string, std::string>> cases{
        {"--board board", "--bus DIR is required"},
        {"--bus " + bus.string() + " --board board,speed=9", "unknown key 'speed'"},
        {"--bus " + bus.string() + " --board b --board b", "two devices are named 'b'"},
        {"--bus " + bus.string() + " --board 'b,regions=1:0:8;1:8:8;1:16:8;1:24:8;1:32:8'", "at most 4"},
        {"--bus " + bus.string() + " --frobnicate", "unknown argument"},
        {"ctl plug board", "--control PATH or --bus DIR"},
    };
    for (const auto& [arguments, reason] : cases) {
        const RunResult result = runSim(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_NE(result.output.find(reason), std::string::npos) << result.output;
    }
    EXPECT_FALSE(fs::exists(bus));
}

TEST(SimControl, RecordIsOneJsonObjectPerLine) {
    SimProcess sim({"--board", "board"});
    {
        BusClient host(sim.busDir(), "board");
        ASSERT_TRUE(host.send(bootRequest(0x02)));
        ASSERT_TRUE(host.receive());
    }
    ASSERT_EQ(sim.control("unplug board"), "ok");
    std::ifstream in(sim.recordPath());
    const std::regex report(R"re(\{"t_ms":\d+\.\d{3},"device":"board","dir":"(in|out)","report":"[0-9A-F]{130}"\})re");
    const std::regex event(R"(\{"t_ms":\d+\.\d{3},"device":"board","event":"[a-z-]+"\})");
    std::vector<std::string> kinds;
    double last = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_match(line, match, report)) kinds.push_back(match[1]);
        else if (std::regex_match(line, event)) kinds.push_back("event");
        else ADD_FAILURE() << line;
        const double t = std::stod(line.substr(8));
        EXPECT_GE(t, last);
        last = t;
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"event", "out", "in", "event"}));
    const auto records = sim.records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].event, "plugged");
    EXPECT_EQ(records[1].report[1], 0x02);
    EXPECT_EQ(records[2].report[2], 56);
    EXPECT_EQ(records[3].event, "unplugged");
}

}  // namespace
}  // namespace simtest
