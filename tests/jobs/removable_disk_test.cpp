// The drive list and the stop step against a real mounted disk: a loop device holding ext4, mounted
// at a path with a blank, in a mount namespace of a forked child so that nothing leaks into the
// machine or the other tests. The disk counts as removable while a file holding 1 is bound over its
// sysfs flag in that namespace. Needs root, loop devices and ext4; skipped, with the reason, without.
#include "jobs/removedisk.h"

#include "platform/drives/drives.h"
#include "platform/process/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// What the child found, one line each: "skip <reason>" or "fail <what>".
class ChildReport {
public:
    explicit ChildReport(int fd) : fd_(fd) {}
    void skip(const std::string& reason) { line("skip " + reason); }
    void fail(const std::string& what) { line("fail " + what); }

private:
    void line(const std::string& text) {
        const std::string out = text + "\n";
        [[maybe_unused]] const ssize_t written = ::write(fd_, out.data(), out.size());
    }
    int fd_;
};

std::string systemError(const std::string& call) { return call + ": " + std::strerror(errno); }

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        std::error_code ec;
        if (!folder.empty() && fs::exists(fs::path(folder) / program, ec)) return true;
    }
    return false;
}

bool kernelHasExt4() {
    std::ifstream filesystems("/proc/filesystems");
    for (std::string line; std::getline(filesystems, line);)
        if (line.ends_with("\text4")) return true;
    return false;
}

bool listed(const std::string& mountPoint) {
    const std::vector<std::string> drives = platform::listDrives();
    return std::find(drives.begin(), drives.end(), mountPoint) != drives.end();
}

// Attaches image to a free loop device that detaches itself once nothing uses it; returns its
// number and keeps its descriptor in loopFd, or reports why there is none.
int attachLoopDevice(const std::string& image, int& loopFd, ChildReport& report) {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
        report.skip("no loop device: " + systemError("/dev/loop-control"));
        return -1;
    }
    const int imageFd = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    int number = -1;
    // Another process may take the free device between the two calls.
    for (int attempt = 0; attempt < 5 && number < 0; ++attempt) {
        const int free = ::ioctl(control, LOOP_CTL_GET_FREE);
        if (free < 0) break;
        loopFd = ::open(("/dev/loop" + std::to_string(free)).c_str(), O_RDWR | O_CLOEXEC);
        if (loopFd >= 0 && ::ioctl(loopFd, LOOP_SET_FD, imageFd) == 0) number = free;
        else if (loopFd >= 0) ::close(loopFd);
    }
    if (number < 0) report.skip("no loop device: " + systemError("attaching the image"));
    ::close(imageFd);
    ::close(control);
    if (number < 0) return -1;
    loop_info64 info{};
    info.lo_flags = LO_FLAGS_AUTOCLEAR;
    if (::ioctl(loopFd, LOOP_SET_STATUS64, &info) != 0) report.fail(systemError("LOOP_SET_STATUS64"));
    return number;
}

void checkInNamespace(const fs::path& dir, ChildReport& report) {
    if (::unshare(CLONE_NEWNS) != 0) return report.skip("no private mount namespace: " + systemError("unshare(CLONE_NEWNS)"));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return report.skip("mounts cannot be made private: " + systemError("mount"));
    if (!kernelHasExt4()) return report.skip("the kernel has no ext4");
    if (!installed("mkfs.ext4")) return report.skip("mkfs.ext4 is not installed");

    const std::string image = (dir / "disk.img").string();
    fs::resize_file(image, 8 << 20);
    const platform::ProcessResult made = platform::runProcess({"mkfs.ext4", "-q", "-F", image}, 30000);
    if (made.status != platform::ProcessResult::Status::Exited || made.exitCode != 0)
        return report.skip("mkfs.ext4 " + platform::describe(made, 30000));
    int loopFd = -1;
    const int loop = attachLoopDevice(image, loopFd, report);
    if (loop < 0) return;
    const std::string device = "/dev/loop" + std::to_string(loop);
    const std::string mountPoint = (dir / "LUMARO UPD").string();
    fs::create_directory(mountPoint);
    const bool mounted = ::mount(device.c_str(), mountPoint.c_str(), "ext4", 0, nullptr) == 0;
    const std::string mountError = systemError("mount " + device);
    ::close(loopFd);  // the mount holds the device now; it detaches when the namespace goes
    if (!mounted) return report.skip("mount refused: " + mountError);

    if (listed(mountPoint)) report.fail("a loop disk, not removable, is listed as a drive");
    const std::string flag = fs::canonical("/sys/block/loop" + std::to_string(loop) + "/removable").string();
    std::ofstream(dir / "removable") << "1\n";
    if (::mount((dir / "removable").c_str(), flag.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return report.skip("the removable flag cannot be bound over: " + systemError("mount " + flag));
    if (!listed(mountPoint)) report.fail("the removable disk mounted at \"" + mountPoint + "\" is not listed");
    // A volume mounted over the disk hides it: its mount point is then no drive of the disk.
    if (::mount("none", mountPoint.c_str(), "tmpfs", 0, nullptr) == 0) {
        if (listed(mountPoint)) report.fail("a tmpfs mounted over the removable disk is listed as a drive");
        ::umount2(mountPoint.c_str(), 0);
        if (!listed(mountPoint)) report.fail("the removable disk is not listed again once the tmpfs over it went");
    }

    const DiskResult stopped = Stop_UpdateDrive(mountPoint, true, 5000);
    if (!installed("udisksctl") && stopped.problem.find("udisksctl is not installed") == std::string::npos)
        report.fail("without udisksctl the stop says: " + stopped.problem);
    if (stopped.ok && listed(mountPoint)) report.fail("a stop that succeeded left the drive listed");

    ::umount2(flag.c_str(), 0);
    if (listed(mountPoint)) report.fail("the disk is still listed once it no longer counts as removable");
    ::umount2(mountPoint.c_str(), MNT_DETACH);
}

TEST(RemovableDisk, ListedOnlyWhileRemovableAndAMissingStopServiceIsNamed) {
    if (::geteuid() != 0) GTEST_SKIP() << "not root: mounting a loop device needs root";
    char pattern[] = "/tmp/removable-disk-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::ofstream(dir / "disk.img").close();

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        ChildReport report(pipeFds[1]);
        checkInNamespace(dir, report);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string lines;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        lines.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(dir);

    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child ended with status " << status;
    std::istringstream report(lines);
    for (std::string line; std::getline(report, line);) {
        if (line.starts_with("skip ")) GTEST_SKIP() << line.substr(5);
        ADD_FAILURE() << line.substr(5);
    }
}

}  // namespace
