// The USB port of a drive on the virtual bus: drives/<L>.port, read as the bus writes it.
#include "platform/drives/drives.h"
#include "temporary_bus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using bustest::TemporaryBus;

TEST(VirtualBusDrives, EachDriveReportsThePortItsPortFileNames) {
    TemporaryBus bus;
    const fs::path drives = bus.dir() / "drives";
    for (const char* letter : {"F", "G", "H", "J"}) fs::create_directories(drives / letter);
    std::ofstream(drives / "F.port", std::ios::binary) << "1-4\n";
    std::ofstream(drives / "G.port", std::ios::binary) << "2-1.3\r\n";  // written by a Windows tool
    std::ofstream(drives / "J.port", std::ios::binary) << "";

    EXPECT_EQ(platform::listDrives(), (std::vector<std::string>{"F:", "G:", "H:", "J:"}));
    EXPECT_EQ(platform::drivePort("F:"), "1-4");
    EXPECT_EQ(platform::drivePort("G:"), "2-1.3");
    EXPECT_EQ(platform::drivePort("H:"), "");  // no port file: the port is not known
    EXPECT_EQ(platform::drivePort("J:"), "");
    EXPECT_EQ(platform::drivePort("K:"), "");  // no such drive
}

}  // namespace
