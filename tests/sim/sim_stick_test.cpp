// A plain USB stick beside the controller: a drive of its own on a port of its own, which the
// controller's update disk never takes the place of, and which is only stopped when asked for.
#include "controller_request.h"
#include "platform/drives/drives.h"
#include "platform/hid/hid.h"
#include "sim_bus_client.h"
#include "sim_process.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace simtest {
namespace {

namespace fs = std::filesystem;
using lumaro::test::SimProcess;
using lumaro::test::SimRecord;

constexpr std::uint8_t kBootloader = 0x9A;
constexpr const char* kStickFirmware = "firmware.bin of another device, on a USB stick\n";

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

const SimRecord* findEvent(const std::vector<SimRecord>& records, const std::string& device, const std::string& event) {
    for (const SimRecord& r : records)
        if (r.device == device && r.event == event) return &r;
    return nullptr;
}

void enterBootloader(const SimProcess& sim) {
    BusClient host(sim.busDir(), "ctl");
    ASSERT_TRUE(host.send(controllerRequest(kBootloader)));
    ASSERT_TRUE(sim.waitForEvent("ctl", "disk-shown"));
}

TEST(SimStick, ADriveOfItsOwnOnAPortOfItsOwnBesideTheUpdateDisk) {
    SimProcess sim({"--stick", "stick,port=2-1", "--controller", "ctl,disk-ms=0"});
    const fs::path drives = fs::path(sim.busDir()) / "drives";
    EXPECT_EQ(contentsOf(drives / "F/firmware.bin"), kStickFirmware);  // the first free letter from F
    EXPECT_EQ(firstLineOf(drives / "F.port"), "2-1");
    EXPECT_EQ(firstLineOf(fs::path(sim.busDir()) / "hid/ctl.port"), "1-1");
    const auto records = sim.records();
    const SimRecord* plugged = findEvent(records, "stick", "plugged");
    ASSERT_NE(plugged, nullptr);
    EXPECT_EQ(plugged->fields.at("drive"), "F:");

    sim.useBus();
    const auto interfaces = platform::listHidInterfaces();
    ASSERT_EQ(interfaces.size(), 1u);  // a stick has no HID interface
    enterBootloader(sim);
    // The update disk takes the next letter, on the controller's port; the stick keeps its own.
    EXPECT_EQ(platform::listDrives(), (std::vector<std::string>{"F:", "G:"}));
    EXPECT_EQ(platform::drivePort("G:"), interfaces[0].port);
    EXPECT_EQ(platform::drivePort("F:"), "2-1");
    EXPECT_NE(platform::drivePort("F:"), platform::drivePort("G:"));
    EXPECT_EQ(contentsOf(drives / "G/firmware.bin"), "tessaray firmware 1.0.0\n");
    ::unsetenv("LUMARO_VBUS_DIR");

    // Stopping the update disk leaves the stick alone.
    ASSERT_EQ(sim.control("stop-drive G:"), "ok");
    EXPECT_FALSE(fs::exists(drives / "G"));
    EXPECT_EQ(contentsOf(drives / "F/firmware.bin"), kStickFirmware);
    EXPECT_EQ(firstLineOf(drives / "F.port"), "2-1");
    EXPECT_EQ(findEvent(sim.records(), "stick", "disk-stopped"), nullptr);

    // Once the simulator has gone, nothing of either is left on the bus.
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_TRUE(fs::is_empty(drives));
}

TEST(SimStick, StoppedLikeAnyStickItLeavesTheBusAndComesBackWithItsFiles) {
    SimProcess sim({"--controller", "ctl,disk-ms=0", "--stick", "h,port=3-1"});
    const fs::path drives = fs::path(sim.busDir()) / "drives";
    ASSERT_TRUE(fs::exists(drives / "H/firmware.bin"));  // a stick named by a letter is that drive
    std::ofstream(drives / "H/notes.txt") << "kept\n";

    // The stop tool's request of a Windows host, then the control socket's as the Linux tool sends it.
    std::ofstream(drives / "H.stop").close();
    ASSERT_TRUE(waitUntil([&] { return !fs::exists(drives / "H.stop"); }));
    EXPECT_FALSE(fs::exists(drives / "H"));
    EXPECT_FALSE(fs::exists(drives / "H.port"));
    const auto records = sim.records();
    const SimRecord* stopped = findEvent(records, "h", "disk-stopped");
    ASSERT_NE(stopped, nullptr);
    EXPECT_EQ(stopped->fields.at("drive"), "H:");
    EXPECT_EQ(sim.control("stop-drive H:"), "error H: is not the update disk of a device of this simulator");
    EXPECT_TRUE(fs::exists(fs::path(sim.busDir()) / "hid/ctl.sock"));  // the controller was not touched

    ASSERT_EQ(sim.control("plug h"), "ok");
    EXPECT_EQ(contentsOf(drives / "H/notes.txt"), "kept\n");
    EXPECT_EQ(contentsOf(drives / "H/firmware.bin"), kStickFirmware);
    EXPECT_EQ(firstLineOf(drives / "H.port"), "3-1");
    EXPECT_EQ(sim.control("plug h"), "error h is plugged already");
    ASSERT_EQ(sim.control("stop-drive h:"), "ok");
    ASSERT_EQ(sim.control("unplug h"), "error h is not plugged");
}

TEST(SimStick, ItsFilesComeFromTheCommandLineAndItsLetterMayBeTaken) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("stick-files-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "firmware.bin", std::ios::binary) << "tessaray firmware 9.9.9\n";
    std::ofstream(folder / "readme.txt", std::ios::binary) << "not firmware\n";
    {
        SimProcess sim({"--stick", "stick,letter=g,file=" + (folder / "firmware.bin").string() +
                                       ",file=" + (folder / "readme.txt").string(),
                        "--stick", "other,letter=G,unplugged"});
        const fs::path drives = fs::path(sim.busDir()) / "drives";
        EXPECT_EQ(contentsOf(drives / "G/firmware.bin"), "tessaray firmware 9.9.9\n");
        EXPECT_EQ(contentsOf(drives / "G/readme.txt"), "not firmware\n");
        EXPECT_EQ(firstLineOf(drives / "G.port"), "1-1");
        EXPECT_EQ(sim.control("plug other"), "error drive G: is taken already");
        EXPECT_FALSE(fs::exists(drives / "G.port.tmp"));
        EXPECT_EQ(firstLineOf(drives / "G.port"), "1-1");
    }
    const int status = std::system((std::string(LUMARO_SIM_PATH) + " --bus '" + (folder / "bus").string() +
                                    "' --stick 's,file=" + (folder / "missing").string() + "' >/dev/null 2>&1")
                                       .c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace simtest
