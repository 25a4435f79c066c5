// The client side of the virtual bus, against a minimal device written in the test itself, so that
// what the platform layer does is checked independently of the simulator.
#include "platform/hid/hid.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::HidAccess;
using platform::HidHandle;
using platform::Report;
using bustest::ListeningInterface;
using bustest::TemporaryBus;

Report patterned(std::uint8_t seed) {
    Report r{};
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(seed + i);
    r[0] = 0;
    return r;
}

TEST(VirtualBusList, OrdersByNameAndSkipsHalfPresentInterfaces) {
    TemporaryBus bus;
    ListeningInterface second(bus, "b-board", "HID\\VID_04D8&PID_003C&REV_0002\nHID\\VID_04D8&PID_003C\n");
    ListeningInterface first(bus, "a-ctl", "HID\\VID_1FC9&PID_0003&REV_0100\n");
    std::ofstream(bus.hid() / "c-arriving.id") << "HID\\VID_0000&PID_0000&REV_0000\n";  // no socket yet

    platform::OsError error = 1;
    const auto list = platform::listHidInterfaces(&error);
    EXPECT_EQ(error, platform::kOk);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].hardwareId, "HID\\VID_1FC9&PID_0003&REV_0100");
    EXPECT_EQ(list[1].hardwareId, "HID\\VID_04D8&PID_003C&REV_0002");  // only the first line counts
    EXPECT_EQ(list[1].path, second.path());
    EXPECT_TRUE(fs::path(list[0].path).is_absolute());
}

TEST(VirtualBusList, EachInterfaceReportsThePortItsPortFileNames) {
    TemporaryBus bus;
    ListeningInterface ctl(bus, "a-ctl", "HID\\VID_1FC9&PID_0003&REV_0100\n");
    ListeningInterface board(bus, "b-board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    ListeningInterface unknown(bus, "c-board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    ListeningInterface windowsWritten(bus, "d-ctl", "HID\\VID_1FC9&PID_0003&REV_0100\n");
    std::ofstream(bus.hid() / "a-ctl.port", std::ios::binary) << "1-4\n";
    std::ofstream(bus.hid() / "b-board.port", std::ios::binary) << "2-1.3";  // no line end
    std::ofstream(bus.hid() / "d-ctl.port", std::ios::binary) << "1-2\r\nsecond line\n";
    std::ofstream(bus.hid() / "e-gone.port", std::ios::binary) << "1-5\n";  // no interface beside it

    const auto list = platform::listHidInterfaces();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].port, "1-4");
    EXPECT_EQ(list[1].port, "2-1.3");
    EXPECT_EQ(list[2].port, "");  // no port file: the port is not known
    EXPECT_EQ(list[3].port, "1-2");
    EXPECT_EQ(list[3].path, windowsWritten.path());
}

TEST(VirtualBusList, AnUnreadableHardwareIdEndsTheListWithAnError) {
    TemporaryBus bus;
    ListeningInterface before(bus, "a-ctl", "HID\\VID_1FC9&PID_0003&REV_0100\n");
    ListeningInterface broken(bus, "b-board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    ListeningInterface after(bus, "c-board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    fs::remove(bus.hid() / "b-board.id");
    fs::create_directory(bus.hid() / "b-board.id");  // unreadable as a file, even for root

    platform::OsError error = platform::kOk;
    const auto list = platform::listHidInterfaces(&error);
    EXPECT_NE(error, platform::kOk);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, before.path());
}

TEST(VirtualBusList, EmptyOrMissingBusListsNothing) {
    TemporaryBus bus;
    EXPECT_TRUE(platform::listHidInterfaces().empty());
    fs::remove_all(bus.hid());
    platform::OsError error = 1;
    EXPECT_TRUE(platform::listHidInterfaces(&error).empty());
    EXPECT_EQ(error, platform::kOk);
}

TEST(VirtualBusHandle, ReportsTravelWhole) {
    TemporaryBus bus;
    ListeningInterface dev(bus, "board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    platform::OsError error = 1;
    HidHandle writer = HidHandle::open(dev.path(), HidAccess::Write, error);
    ASSERT_EQ(error, platform::kOk);
    HidHandle reader = HidHandle::open(dev.path(), HidAccess::Read, error);
    ASSERT_EQ(error, platform::kOk);
    char access = 0;
    const bustest::DeviceEnd writerEnd = dev.accept(access);
    EXPECT_EQ(access, 'w');
    const bustest::DeviceEnd readerEnd = dev.accept(access);
    EXPECT_EQ(access, 'r');

    EXPECT_EQ(writer.write(patterned(1), 1000), platform::kOk);
    EXPECT_EQ(writerEnd.receive(1000), patterned(1));

    const Report reply = patterned(7);
    ASSERT_TRUE(readerEnd.send(reply));
    Report in{};
    EXPECT_EQ(reader.read(in, 1000), platform::kOk);
    EXPECT_EQ(in, reply);

    // Each handle keeps to its direction, as a handle opened for one access does.
    EXPECT_EQ(writer.read(in, 0), platform::kErrorAccessDenied);
    EXPECT_EQ(reader.write(reply, 0), platform::kErrorAccessDenied);
}

TEST(VirtualBusHandle, ReadGivesUpAtItsTimeLimit) {
    TemporaryBus bus;
    ListeningInterface dev(bus, "board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    platform::OsError error = 1;
    HidHandle handle = HidHandle::open(dev.path(), HidAccess::ReadWrite, error);
    char access = 0;
    const bustest::DeviceEnd deviceEnd = dev.accept(access);
    EXPECT_EQ(access, 'b');

    Report in{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(handle.read(in, 150), platform::kErrorTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(handle.tryRead(in, error), platform::IoProgress::Pending);

    // A message of the wrong length breaks the bus's rules and is not taken as a report.
    const std::uint8_t shortMessage[10] = {};
    deviceEnd.send(shortMessage);
    EXPECT_EQ(handle.read(in, 100), platform::kErrorTimeout);
}

TEST(VirtualBusHandle, DeviceThatLeavesIsReportedGone) {
    TemporaryBus bus;
    auto dev = std::make_unique<ListeningInterface>(bus, "board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    const std::string path = dev->path();
    platform::OsError error = 1;
    HidHandle handle = HidHandle::open(path, HidAccess::ReadWrite, error);
    char access = 0;
    dev->accept(access).close();

    Report in{};
    EXPECT_EQ(handle.read(in, 1000), platform::kErrorDeviceNotConnected);
    EXPECT_EQ(handle.write(in, 1000), platform::kErrorDeviceNotConnected);

    fs::remove(path);
    dev.reset();
    HidHandle again = HidHandle::open(path, HidAccess::Write, error);
    EXPECT_FALSE(again.isOpen());
    EXPECT_EQ(error, platform::kErrorFileNotFound);
    EXPECT_EQ(again.write(in, 0), platform::kErrorInvalidHandle);
}

TEST(VirtualBusHandle, SlowDeviceMakesWritesWaitThenTimeOut) {
    TemporaryBus bus;
    ListeningInterface dev(bus, "board", "HID\\VID_04D8&PID_003C&REV_0002\n");
    platform::OsError error = 1;
    HidHandle handle = HidHandle::open(dev.path(), HidAccess::Write, error);
    char access = 0;
    const bustest::DeviceEnd deviceEnd = dev.accept(access);

    // A device that takes nothing: the socket fills, later writes queue in order behind the first
    // that could not go, and a synchronous write waits out its limit.
    platform::WriteTicket ticket = 0;
    platform::IoProgress progress = platform::IoProgress::Done;
    for (int i = 0; i < 10000 && progress == platform::IoProgress::Done; ++i)
        progress = handle.startWrite(patterned(static_cast<std::uint8_t>(i)), ticket, error);
    ASSERT_EQ(progress, platform::IoProgress::Pending);
    platform::WriteTicket later = 0;
    EXPECT_EQ(handle.startWrite(patterned(200), later, error), platform::IoProgress::Pending);
    EXPECT_EQ(later, ticket + 1);
    EXPECT_EQ(handle.write(patterned(201), 50), platform::kErrorTimeout);

    // Once the device takes reports, the queued ones follow in the order they were started.
    while (handle.pollWrite(later, error) == platform::IoProgress::Pending) ASSERT_TRUE(deviceEnd.receive(1000));
    EXPECT_EQ(handle.pollWrite(ticket, error), platform::IoProgress::Done);
    Report previous{};
    while (const std::optional<Report> got = deviceEnd.receive(0)) previous = *got;
    EXPECT_EQ(previous[1], static_cast<std::uint8_t>(200 + 1));  // the withdrawn write never went
}

}  // namespace
