// The Windows backends of the platform layer, run under Wine or on Windows: SetupAPI listing and
// opening, the bus over loopback TCP against a device served by the test, device-change decoding,
// drives (letters and volumes by GUID path) and volume ejection, stop requests on the bus, processes
// and the registry.
#include "platform/machine/arch.h"
#include "platform/hid/device_change_win.h"
#include "platform/drives/drives.h"
#include "platform/drives/eject_volume_win.h"
#include "platform/drives/volume_name_rules.h"
#include "platform/drives/volumes_win.h"
#include "platform/hid/hid.h"
#include "platform/process/process.h"
#include "platform/process/system_error_boxes.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::HidAccess;
using platform::HidHandle;
using platform::Report;

const GUID kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
std::string selfPath;

Report patterned(std::uint8_t seed) {
    Report report{};
    for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(seed + i);
    return report;
}

TEST(WindowsHid, SetupApiListsWithoutErrorAndAMadeUpPathIsNotFound) {
    platform::OsError error = 1;
    const auto interfaces = platform::listHidInterfaces(&error);
    EXPECT_EQ(error, platform::kOk);
    for (const auto& interface : interfaces) EXPECT_FALSE(interface.path.empty());

    const std::string madeUp = "\\\\?\\hid#vid_dead&pid_beef#0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    HidHandle handle = HidHandle::open(madeUp, HidAccess::Write, error);
    EXPECT_FALSE(handle.isOpen());
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_NE(platform::describe(ERROR_PATH_NOT_FOUND), "system error 3");  // the system's own text
}

TEST(WindowsBus, ReportsTravelWholeOverTcpAndSilenceAndHangUpAreTold) {
    bustest::TemporaryBus bus;
    const bustest::ListeningInterface device(bus, "board", "HID\\VID_04D8&PID_003C&REV_0002\nHID\\VID_04D8&PID_003C\n");
    std::ofstream(bus.hid() / "arriving.id") << "HID\\VID_0000&PID_0000\n";  // no endpoint yet

    platform::OsError error = 1;
    const auto interfaces = platform::listHidInterfaces(&error);
    ASSERT_EQ(interfaces.size(), 1u);
    EXPECT_EQ(interfaces[0].hardwareId, "HID\\VID_04D8&PID_003C&REV_0002");
    EXPECT_EQ(fs::path(interfaces[0].path), fs::path(device.path()));

    char access = 0;
    bustest::DeviceEnd deviceEnd;
    std::thread accepting([&] { deviceEnd = device.accept(access); });
    HidHandle handle = HidHandle::open(interfaces[0].path, HidAccess::ReadWrite, error);
    accepting.join();
    ASSERT_TRUE(handle.isOpen()) << error;
    EXPECT_EQ(access, 'b');

    const Report sent = patterned(7);
    EXPECT_EQ(handle.write(sent, 2000), platform::kOk);
    EXPECT_EQ(deviceEnd.receive(2000), sent);

    // A report that reaches the client in two pieces is read whole, once.
    const Report reply = patterned(40);
    deviceEnd.send(std::span(reply).first(20));
    std::this_thread::sleep_for(50ms);
    deviceEnd.send(std::span(reply).subspan(20));
    Report read{};
    EXPECT_EQ(handle.read(read, 2000), platform::kOk);
    EXPECT_EQ(read, reply);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(handle.read(read, 200), platform::kErrorTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);

    deviceEnd.close();
    EXPECT_EQ(handle.read(read, 2000), platform::kErrorDeviceNotConnected);
}

TEST(WindowsDeviceChange, OnlyHidInterfaceArrivalsAndRemovalsCount) {
    DEV_BROADCAST_DEVICEINTERFACE_A hid{};
    hid.dbcc_size = sizeof hid;
    hid.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    hid.dbcc_classguid = kHidClass;
    const auto asParam = [](const void* p) { return reinterpret_cast<std::intptr_t>(p); };
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVICEARRIVAL, asParam(&hid)), platform::DeviceChange::Arrival);
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVICEREMOVECOMPLETE, asParam(&hid)), platform::DeviceChange::Removal);
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVICEQUERYREMOVE, asParam(&hid)), platform::DeviceChange::None);
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVNODES_CHANGED, 0), platform::DeviceChange::None);

    DEV_BROADCAST_DEVICEINTERFACE_A other = hid;
    other.dbcc_classguid.Data1 ^= 1;
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVICEARRIVAL, asParam(&other)), platform::DeviceChange::None);
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    EXPECT_EQ(platform::decodeDeviceChange(DBT_DEVICEARRIVAL, asParam(&volume)), platform::DeviceChange::None);

    const HWND window = CreateWindowExA(0, "STATIC", "hid", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    void* registration = platform::registerForHidInterfaces(window);
    EXPECT_NE(registration, nullptr) << GetLastError();
    platform::unregisterDeviceChanges(registration);
    DestroyWindow(window);
}

TEST(WindowsDrives, DriveTypesListTheSystemDriveAndAFixedDiskIsNotEjected) {
    const auto drives = platform::listDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front(), "C:");
    const auto described = platform::describeDrives();
    const auto system = std::find_if(described.begin(), described.end(),
                                     [](const platform::DriveDescription& drive) { return drive.drive == "C:"; });
    ASSERT_NE(system, described.end());
    EXPECT_EQ(system->type, "fixed");
    // The system disk is on no USB: the update disk's search never looks into it.
    for (const platform::DriveDescription& disk : platform::describeUsbDisks()) EXPECT_NE(disk.drive, "C:");
    EXPECT_EQ(platform::pathOnDrive("F:", "Upfirmware.bin"), "F:\\Upfirmware.bin");
    platform::OsError error = 1;
    EXPECT_EQ(platform::placeStopTool(error), nullptr);  // this program carries no stop tool
    EXPECT_EQ(error, platform::kOk);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(platform::EjectVolume('C'));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot eject.  Drive type is incorrect.\n");
}

// The front ends' first step: the system fails a call on an empty drive instead of asking the user,
// and keeps the flags the process had.
TEST(WindowsErrorBoxes, TheSystemFailsInsteadOfAsking) {
    const UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    platform::failInsteadOfSystemErrorBoxes();
    EXPECT_EQ(GetErrorMode(), UINT{SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX});
    SetErrorMode(before);
}

// The volume manager's side of the drive list, as far as the system at hand shows it: Wine's volumes
// are fixed disks with letters of their own, so none is named by its GUID path there; a PC with a
// lettered USB stick lists none either. Mapped drives over a volume's letter and USB disks are shown
// only by the rules' tables (volume_name_rules_test.cpp).
TEST(WindowsDrives, VolumesByGuidPathFollowTheLettersAndAVolumeIsFoundByItsPath) {
    const auto volumes = platform::volumesWithoutOwnLetter();
    const auto drives = platform::listDrives();
    ASSERT_GE(drives.size(), volumes.size());
    EXPECT_TRUE(std::equal(volumes.begin(), volumes.end(), drives.end() - static_cast<std::ptrdiff_t>(volumes.size())));
    const auto described = platform::describeDrives();
    for (const std::string& volume : volumes) {
        EXPECT_TRUE(platform::isVolumeGuidPath(volume)) << volume;
        EXPECT_TRUE(std::any_of(described.begin(), described.end(), [&](const platform::DriveDescription& drive) {
            return drive.drive == volume && drive.type == "removable";
        })) << volume;
    }

    // The system volume by its GUID path: there, but on no USB device, and never stopped.
    wchar_t system[MAX_PATH] = {};
    ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(L"C:\\", system, MAX_PATH)) << GetLastError();
    const std::string systemVolume = fs::path(system).string();
    ASSERT_TRUE(platform::isVolumeGuidPath(systemVolume)) << systemVolume;
    EXPECT_TRUE(platform::isDrivePresent(systemVolume));
    EXPECT_EQ(platform::driveUsbIdentity(systemVolume), "");
    EXPECT_EQ(platform::drivePort(systemVolume), "");

    // A volume that is not there: not present, nothing found for it, and its stop ends at once.
    const std::string gone = "\\\\?\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}\\";
    EXPECT_FALSE(platform::isDrivePresent(gone));
    DEVINST disk = 0;
    EXPECT_FALSE(platform::diskOfDrive(gone, disk));
    EXPECT_EQ(platform::driveLook(gone).label, "");
    EXPECT_EQ(platform::pathOnDrive(gone, "Upfirmware.bin"),
              "\\\\.\\Volume{5c1a7f02-3b9e-11ef-a1b2-806e6f6e6963}\\Upfirmware.bin");
    EXPECT_EQ(platform::stopDriveThroughSystem(gone, 5000), gone + " is not a volume of a disk the system knows");
}

// The device side of a stop request: takes the drive away, or refuses.
void answerStop(const fs::path& drives, bool refuse) {
    const fs::path request = drives / "F.stop";
    for (int i = 0; i < 500 && !fs::exists(request); ++i) std::this_thread::sleep_for(10ms);
    if (refuse) {
        std::ofstream(request) << "refused";
        return;
    }
    fs::remove_all(drives / "F");
    fs::remove(request);
}

TEST(WindowsBus, AStopRequestEndsWhenTheDriveHasGoneOrWasRefused) {
    bustest::TemporaryBus bus;
    const fs::path drives = bus.dir() / "drives";
    for (const bool refuse : {false, true}) {
        fs::create_directories(drives / "F");
        EXPECT_EQ(platform::listDrives(), std::vector<std::string>{"F:"});
        platform::OsError error = 1;
        EXPECT_EQ(platform::placeStopTool(error), nullptr);  // a Windows build asks the device side
        std::thread device(answerStop, drives, refuse);
        const std::optional<std::string> problem = platform::stopDriveThroughSystem("F:", 5000);
        device.join();
        if (refuse)
            EXPECT_EQ(problem, "the device side refused to stop F:");
        else
            EXPECT_EQ(problem, std::nullopt);
        EXPECT_FALSE(fs::exists(drives / "F.stop"));
    }
    EXPECT_EQ(platform::stopDriveThroughSystem("F:", 300), "the stop request for F: was not answered within 300 ms");
    EXPECT_FALSE(fs::exists(drives / "F.stop"));  // withdrawn
}

TEST(WindowsProcess, StartWaitExitCodeAndTimeLimit) {
    const auto exited = platform::runCommandLine("\"" + selfPath + "\" --exit-with=3", 20000);
    EXPECT_EQ(exited.status, platform::ProcessResult::Status::Exited);
    EXPECT_EQ(exited.exitCode, 3);

    const auto quoted = platform::runProcess({selfPath, "--exit-with=0"}, 20000);
    EXPECT_EQ(quoted.status, platform::ProcessResult::Status::Exited);
    EXPECT_EQ(quoted.exitCode, 0);

    const auto missing = platform::runCommandLine("C:\\no\\such\\tool.exe /stop_by_drive F:", 5000);
    EXPECT_EQ(missing.status, platform::ProcessResult::Status::NotStarted);
    EXPECT_NE(missing.error, platform::kOk);

    const auto start = std::chrono::steady_clock::now();
    const auto slow = platform::runProcess({selfPath, "--sleep-ms=20000"}, 1500);
    EXPECT_EQ(slow.status, platform::ProcessResult::Status::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(WindowsRegistry, ArchitectureComesFromTheMachineEnvironmentKey) {
    EXPECT_EQ(platform::nativeProcessorArchitecture(), "AMD64");
}

}  // namespace

// The test program is also the child that the process tests start.
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--exit-with=", 0) == 0) return std::atoi(argument.c_str() + 12);
        if (argument.rfind("--sleep-ms=", 0) == 0) {
            Sleep(static_cast<DWORD>(std::atoi(argument.c_str() + 11)));
            return 0;
        }
    }
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    selfPath = path;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
