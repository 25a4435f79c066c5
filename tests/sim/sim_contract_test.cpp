// The device side of the virtual-bus contract, as any host sees it through the bus directory.
#include "controller_request.h"
#include "platform/drives/drives.h"
#include "sim_bus_client.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace simtest {
namespace {

namespace fs = std::filesystem;
using lumaro::test::SimProcess;
using lumaro::test::SimRecord;

// Names under one folder of the bus (hid/, drives/) that appear (created or renamed into place) or
// vanish, in order.
class DirWatch {
public:
    explicit DirWatch(const std::string& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ::inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
    }
    ~DirWatch() { ::close(fd_); }

    // "+name" for an appearance, "-name" for a removal; temporary and hidden names left out.
    std::vector<std::string> changes(std::size_t wanted) {
        std::vector<std::string> seen;
        alignas(inotify_event) char buffer[4096];
        while (seen.size() < wanted) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 2000) <= 0) break;
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len ? event->name : "";
                if (!name.ends_with(".tmp") && !name.starts_with("."))
                    seen.push_back((event->mask & (IN_CREATE | IN_MOVED_TO) ? "+" : "-") + name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return seen;
    }

private:
    int fd_;
};

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::size_t countEvents(const std::vector<SimRecord>& records, const std::string& event) {
    return static_cast<std::size_t>(std::count_if(records.begin(), records.end(),
                                                  [&](const SimRecord& r) { return r.event == event; }));
}

// Windows hosts watch .tcp where Linux hosts watch .sock: each must find the interface whole, and
// its port beside it.
TEST(SimContract, AppearsPortIdTcpSockAndLeavesTcpSockIdPortThenClosesConnections) {
    SimProcess sim({"--board", "board,unplugged,id=HID\\VID_04D8&PID_003C&REV_0007,port=2-1.3"});
    EXPECT_TRUE(fs::is_empty(sim.busDir() + "/hid"));
    DirWatch watch(sim.busDir() + "/hid");

    ASSERT_EQ(sim.control("plug board"), "ok");
    EXPECT_EQ(watch.changes(4), (std::vector<std::string>{"+board.port", "+board.id", "+board.tcp", "+board.sock"}));
    EXPECT_EQ(firstLineOf(sim.busDir() + "/hid/board.port"), "2-1.3");
    EXPECT_EQ(firstLineOf(sim.busDir() + "/hid/board.id"), "HID\\VID_04D8&PID_003C&REV_0007");
    const std::string line = firstLineOf(sim.busDir() + "/hid/board.tcp");
    EXPECT_TRUE(!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) << line;

    BusClient client(sim.busDir(), "board");
    BusClient windowsClient(sim.busDir(), "board", "b", Transport::Tcp);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(windowsClient.connected());
    ASSERT_EQ(sim.control("unplug board"), "ok");
    EXPECT_EQ(watch.changes(4), (std::vector<std::string>{"-board.tcp", "-board.sock", "-board.id", "-board.port"}));
    EXPECT_TRUE(client.seesEndOfFile());
    EXPECT_TRUE(windowsClient.seesEndOfFile());
}

// port= stands for a system that cannot tell: no port file, not even one left from before.
TEST(SimContract, ADeviceOfUnknownPortWritesNoPortFile) {
    SimProcess sim({"--board", "board,unplugged,port="});
    std::ofstream(sim.busDir() + "/hid/board.port") << "9-9\n";
    DirWatch watch(sim.busDir() + "/hid");
    ASSERT_EQ(sim.control("plug board"), "ok");
    EXPECT_EQ(watch.changes(4), (std::vector<std::string>{"-board.port", "+board.id", "+board.tcp", "+board.sock"}));
    ASSERT_EQ(sim.control("unplug board"), "ok");
    EXPECT_EQ(watch.changes(3), (std::vector<std::string>{"-board.tcp", "-board.sock", "-board.id"}));
    EXPECT_TRUE(fs::is_empty(sim.busDir() + "/hid"));
}

// One device, one port: the disk a controller shows in its bootloader is on its interface's port,
// and names its USB device (the controller's vendor, the bootloader disk's product, its serial).
TEST(SimContract, TheUpdateDiskIsOnItsControllersPortFromBeforeItAppearsUntilAfterItHasGone) {
    SimProcess sim({"--board", "board", "--controller", "ctl,disk-ms=0"});
    const fs::path bus = sim.busDir();
    const std::string interfacePort = firstLineOf(bus / "hid/ctl.port");
    EXPECT_EQ(interfacePort, "1-2");  // the second device
    EXPECT_EQ(firstLineOf(bus / "hid/board.port"), "1-1");
    fs::create_directories(bus / "drives");
    DirWatch drives((bus / "drives").string());
    {
        BusClient host(sim.busDir(), "ctl");
        ASSERT_TRUE(host.send(controllerRequest(0x9A)));
        EXPECT_TRUE(host.seesEndOfFile());
    }
    EXPECT_EQ(drives.changes(3), (std::vector<std::string>{"+F.port", "+F.usb", "+F"}));
    EXPECT_EQ(firstLineOf(bus / "drives/F.port"), interfacePort);
    EXPECT_EQ(firstLineOf(bus / "drives/F.usb"), "USB\\VID_1FC9&PID_0114\\TSIM-ctl");
    EXPECT_FALSE(fs::exists(bus / "hid/ctl.port"));  // it left the bus as a HID device

    sim.useBus();
    EXPECT_EQ(platform::drivePort("F:"), interfacePort);
    ::unsetenv("LUMARO_VBUS_DIR");

    ASSERT_EQ(sim.control("stop-drive F:"), "ok");
    EXPECT_EQ(drives.changes(3), (std::vector<std::string>{"-F", "-F.port", "-F.usb"}));
    EXPECT_EQ(firstLineOf(bus / "hid/ctl.port"), interfacePort);  // back on the same port
}

TEST(SimContract, AMessageOfTheWrongLengthClosesThatConnectionOnly) {
    SimProcess sim({"--board", "board"});
    BusClient good(sim.busDir(), "board");
    for (std::size_t length : {64u, 66u, 1u}) {
        BusClient bad(sim.busDir(), "board");
        const std::vector<std::uint8_t> message(length, 0);
        ASSERT_TRUE(bad.sendBytes(message.data(), message.size()));
        EXPECT_TRUE(bad.seesEndOfFile()) << length;
    }
    BusClient noAccess(sim.busDir(), "board", "");
    const char wrongAccess[] = "x";
    ASSERT_TRUE(noAccess.sendBytes(wrongAccess, 1));
    EXPECT_TRUE(noAccess.seesEndOfFile());

    ASSERT_TRUE(good.send(bootRequest(0x02)));
    EXPECT_TRUE(good.receive().has_value());
    EXPECT_EQ(countEvents(sim.records(), "protocol-error"), 4u);
}

TEST(SimContract, InputReportsGoToReadersOnlyAndWritesOfReadersAreNotTaken) {
    SimProcess sim({"--board", "board"});
    BusClient reader(sim.busDir(), "board", "r");
    BusClient writer(sim.busDir(), "board", "w");
    BusClient both(sim.busDir(), "board", "b");

    ASSERT_TRUE(writer.send(bootRequest(0x02)));
    EXPECT_TRUE(reader.receive().has_value());
    EXPECT_TRUE(both.receive().has_value());
    EXPECT_FALSE(writer.receive(200).has_value());

    ASSERT_TRUE(reader.send(bootRequest(0x02)));
    EXPECT_FALSE(both.receive(300).has_value());
    const auto records = sim.records();
    EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const SimRecord& r) { return r.dir == "out"; }), 1);
    EXPECT_EQ(countEvents(records, "protocol-error"), 1u);
}

TEST(SimContract, AReaderThatNeverReadsDoesNotHoldUpTheDevice) {
    SimProcess sim({"--board", "board"});
    BusClient sleeper(sim.busDir(), "board", "r");
    BusClient host(sim.busDir(), "board", "b");
    // Far more answers than the sleeper's connection can buffer.
    for (int i = 0; i < 1500; ++i) {
        ASSERT_TRUE(host.send(bootRequest(0x02)));
        ASSERT_TRUE(host.receive().has_value()) << "answer " << i;
    }
    EXPECT_TRUE(sleeper.receive(100).has_value());
}

TEST(SimContract, ThePlatformLayerFindsAndDrivesTheDevices) {
    SimProcess sim({"--controller", "ctl", "--board", "board,id=HID\\VID_04D8&PID_003C&REV_0002"});
    sim.useBus();
    const auto interfaces = platform::listHidInterfaces();
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].hardwareId, "HID\\VID_04D8&PID_003C&REV_0002");  // "board" sorts first
    EXPECT_EQ(interfaces[1].hardwareId, "HID\\VID_1FC9&PID_0003&REV_0100");
    EXPECT_EQ(interfaces[0].port, "1-2");  // a port of its own by the devices' order
    EXPECT_EQ(interfaces[1].port, "1-1");

    platform::OsError error = platform::kOk;
    auto writer = platform::HidHandle::open(interfaces[0].path, platform::HidAccess::Write, error);
    ASSERT_EQ(error, platform::kOk);
    auto reader = platform::HidHandle::open(interfaces[0].path, platform::HidAccess::Read, error);
    ASSERT_EQ(error, platform::kOk);
    ASSERT_EQ(writer.write(bootRequest(0x02), 1000), platform::kOk);
    Report reply{};
    ASSERT_EQ(reader.read(reply, 1000), platform::kOk);
    EXPECT_EQ(reply[2], 56);

    ASSERT_EQ(sim.control("unplug board"), "ok");
    EXPECT_EQ(reader.read(reply, 1000), platform::kErrorDeviceNotConnected);
    ::unsetenv("LUMARO_VBUS_DIR");
}

}  // namespace
}  // namespace simtest
