// The platform pieces under the update disk that can be checked without a removable disk: reading the
// kernel's mount table, the mount seen at a mount point and splitting a command line.
#include "platform/drives/mountinfo.h"
#include "platform/process/process.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

TEST(MountInfo, MountPointsAndSourcesWithEscapesDecoded) {
    const auto entries = platform::parseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "97 22 8:17 / /media/user/LUMARO\\040UPD rw,nosuid shared:50 master:3 - vfat /dev/sdb1 rw,fmask=0022\n"
        "98 22 0:5 / /proc rw - proc proc rw\n"
        "garbage line\n"
        "99 22 0:6 / /no/separator rw shared:2\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_EQ(entries[0].source, "/dev/sda1");
    EXPECT_EQ(entries[1].mountPoint, "/media/user/LUMARO UPD");
    EXPECT_EQ(entries[1].source, "/dev/sdb1");
    EXPECT_EQ(entries[2].source, "proc");
    // Each volume carries the numbers of its device, which lead to its USB port in sysfs.
    EXPECT_EQ(entries[0].majorMinor, "8:1");
    EXPECT_EQ(entries[1].majorMinor, "8:17");
    EXPECT_EQ(entries[2].majorMinor, "0:5");
}

// Every look at a drive (its port, its USB device, its stop) goes by the mount seen at its mount point.
TEST(MountInfo, TheMountSeenAtAMountPointIsTheOneNothingThereWasMountedOnto) {
    const auto seenSource = [](const char* table, const std::string& mountPoint) {
        const auto seen = platform::mountSeenAt(platform::parseMountInfo(table), mountPoint);
        return seen ? seen->source : std::string("(none)");
    };
    const std::string one = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n97 22 8:17 / /media/u/D rw - vfat /dev/sdb1 rw\n";
    EXPECT_EQ(seenSource(one.c_str(), "/media/u/D"), "/dev/sdb1");
    EXPECT_EQ(seenSource(one.c_str(), "/media/u/E"), "(none)");
    // A volume mounted over the disk hides it, wherever the table lists it.
    EXPECT_EQ(seenSource((one + "98 97 8:33 / /media/u/D rw - vfat /dev/sdc1 rw\n").c_str(), "/media/u/D"), "/dev/sdc1");
    EXPECT_EQ(seenSource("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n98 97 8:33 / /media/u/D rw - vfat /dev/sdc1 rw\n"
                         "97 22 8:17 / /media/u/D rw - vfat /dev/sdb1 rw\n",
                         "/media/u/D"),
              "/dev/sdc1");
    // Two mounts there, neither over the other (their parents differ): the later one.
    EXPECT_EQ(seenSource((one + "99 40 8:33 / /media/u/D rw - vfat /dev/sdc1 rw\n").c_str(), "/media/u/D"), "/dev/sdc1");
    EXPECT_EQ(seenSource("30 30 0:1 / / rw - rootfs rootfs rw\n", "/"), "rootfs") << "a root that is its own parent";
}

TEST(CommandLine, QuotesGroupBlanksAndBackslashesStay) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(platform::splitCommandLine("\"C:\\Program Files\\USBDeview.exe\" /stop_by_drive F:"),
              (Args{"C:\\Program Files\\USBDeview.exe", "/stop_by_drive", "F:"}));
    EXPECT_EQ(platform::splitCommandLine("  tool   a\tb "), (Args{"tool", "a", "b"}));
    EXPECT_EQ(platform::splitCommandLine("tool \"\" x"), (Args{"tool", "", "x"}));
    EXPECT_EQ(platform::splitCommandLine(""), Args{});
}

TEST(Process, ExitCodeAndAMissingProgram) {
    const auto exited = platform::runProcess({"sh", "-c", "exit 3"}, 5000);
    EXPECT_EQ(exited.status, platform::ProcessResult::Status::Exited);
    EXPECT_EQ(exited.exitCode, 3);
    const auto missing = platform::runProcess({"/nonexistent/program"}, 5000);
    EXPECT_EQ(missing.status, platform::ProcessResult::Status::NotStarted);
    EXPECT_EQ(missing.error, platform::kErrorFileNotFound);
    EXPECT_EQ(platform::runProcess({}, 100).status, platform::ProcessResult::Status::NotStarted);
}

#ifndef _WIN32
// Found against udisks2 in a virtual machine (scripts/test-usb): udisksctl's "Mounted /dev/sda at
// ..." came out among lumaro-update --json's lines. A program run leaves this process's standard
// output alone; what it says goes to standard error.
TEST(Process, TheProgramsOutputGoesToStandardErrorNotStandardOutput) {
    char outName[] = "/tmp/process-stdout-XXXXXX";
    char errName[] = "/tmp/process-stderr-XXXXXX";
    const int out = ::mkstemp(outName);
    const int err = ::mkstemp(errName);
    ASSERT_GE(out, 0);
    ASSERT_GE(err, 0);
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(STDOUT_FILENO);
    const int savedErr = ::dup(STDERR_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    const auto run = platform::runProcess({"sh", "-c", "echo Mounted /dev/sda at /media/x"}, 5000);
    ::dup2(savedOut, STDOUT_FILENO);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedOut);
    ::close(savedErr);
    ::close(out);
    ::close(err);
    const auto contents = [](const char* name) {
        std::ifstream in(name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(contents(outName), "");
    EXPECT_EQ(contents(errName), "Mounted /dev/sda at /media/x\n");
    ::unlink(outName);
    ::unlink(errName);
}
#endif

}  // namespace
