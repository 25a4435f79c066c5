// A program run by runProcess lives in a process group of its own: a Ctrl+C at the terminal (SIGINT
// to the terminal's foreground group, ours) does not end it, and at the time limit the program goes
// together with what it started.
#include "platform/process/process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::ProcessResult;

std::atomic<int> interruptsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void countInterrupt(int) { interruptsSeen.fetch_add(1); }

std::string readFile(const fs::path& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool waitForFile(const fs::path& path)
{
    for (int i = 0; i < 500; ++i) {
        if (fs::exists(path) && !readFile(path).empty()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Gone, or a zombie about to be reaped by whoever inherited it.
bool ended(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.compare(close, 3, ") Z") == 0);
}

// The test leads a process group of its own, so that a SIGINT to "our group" reaches no one
// else (not ctest, not a shell), and counts the presses instead of ending.
class ProcessGroup : public ::testing::Test {
protected:
    void SetUp() override
    {
        formerGroup_ = ::getpgrp();
        if (formerGroup_ != ::getpid()) {
            ASSERT_EQ(::setpgid(0, 0), 0);
        }
        struct sigaction action {};
        action.sa_handler = countInterrupt;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(::sigaction(SIGINT, &action, &previous_), 0);
        interruptsSeen = 0;
    }

    void TearDown() override
    {
        ::sigaction(SIGINT, &previous_, nullptr);
        if (formerGroup_ != ::getpid()) ::setpgid(0, formerGroup_);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder = bustest::makeTemporaryFolder("process-group-test-");

private:
    pid_t formerGroup_ = 0;
    struct sigaction previous_ {};
};

TEST_F(ProcessGroup, TheChildLeadsAGroupOfItsOwn)
{
    const fs::path ids = folder / "ids";
    // Fields 1 and 5 of the shell's own stat: its process id and its group.
    const auto run = platform::runProcess({"sh", "-c", "cut -d' ' -f1,5 /proc/$$/stat > '" + ids.string() + "'"}, 5000);
    ASSERT_EQ(run.status, ProcessResult::Status::Exited);
    ASSERT_EQ(run.exitCode, 0);
    std::istringstream text(readFile(ids));
    pid_t child = 0;
    pid_t group = 0;
    text >> child >> group;
    EXPECT_GT(child, 0);
    EXPECT_EQ(group, child);
    EXPECT_NE(group, ::getpgrp());
}

TEST_F(ProcessGroup, ACtrlCToOurGroupDoesNotEndTheChild)
{
    const fs::path started = folder / "started";
    ProcessResult run;
    std::thread waiting([&] {
        run = platform::runProcess({"sh", "-c", "echo up > '" + started.string() + "'; sleep 1; exit 7"}, 10000);
    });
    const bool up = waitForFile(started);
    if (up) ::kill(0, SIGINT);
    waiting.join();
    ASSERT_TRUE(up);
    EXPECT_EQ(interruptsSeen.load(), 1);
    EXPECT_EQ(run.status, ProcessResult::Status::Exited);
    EXPECT_EQ(run.exitCode, 7);  // 130 had the press ended it
}

TEST_F(ProcessGroup, AtTheTimeLimitWhatTheChildStartedGoesToo)
{
    const fs::path grandchild = folder / "grandchild";
    const auto run =
        platform::runProcess({"sh", "-c", "sleep 30 & echo $! > '" + grandchild.string() + "'; wait"}, 500);
    EXPECT_EQ(run.status, ProcessResult::Status::TimedOut);
    ASSERT_TRUE(waitForFile(grandchild));
    const pid_t sleeper = std::stoi(readFile(grandchild));
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = ended(sleeper);
        if (!gone) std::this_thread::sleep_for(10ms);
    }
    if (!gone) ::kill(sleeper, SIGKILL);  // leave nothing running behind a failed test
    EXPECT_TRUE(gone) << "pid " << sleeper;
}

}  // namespace
