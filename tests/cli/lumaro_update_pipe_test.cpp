// lumaro-update whose reader goes away: its standard output is a pipe that the reader closes after
// the first line, as `lumaro-update --json | head -1` or a line controller that restarts does. The
// update still ends done, with the program's success code, and the closed pipe does not end it.
#include "sim_process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using lumaro::test::SimProcess;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kUnitLimitMs = 30000;  // one update with the job's real waits takes about 9 s

// The program, started in a folder of its own with its standard output into a pipe of ours and
// its standard error into a file, as a shell pipeline starts it (SIGPIPE at its default).
class PipedRun {
public:
    PipedRun(const std::vector<std::string>& arguments, const fs::path& folder) : errorsPath_(folder / "stderr.txt")
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        readEnd_ = ends[0];
        std::vector<std::string> all{LUMARO_UPDATE_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        if (::posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid_ = 0;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
    }

    ~PipedRun()
    {
        closeReader();
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    PipedRun(const PipedRun&) = delete;
    PipedRun& operator=(const PipedRun&) = delete;

    bool started() const { return pid_ > 0; }

    // The first line of standard output, or what came of it within limitMs.
    std::string firstLine(int limitMs) const
    {
        std::string line;
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        char c = 0;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd readable{readEnd_, POLLIN, 0};
            if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) != 1 || ::read(readEnd_, &c, 1) != 1)
                break;
            line += c;
        }
        return line;
    }

    // The reader goes away.
    void closeReader()
    {
        if (readEnd_ >= 0) ::close(readEnd_);
        readEnd_ = -1;
    }

    // How the program ended, as "exit N" or "signal N"; "running" when it has not within limitMs.
    std::string end(int limitMs)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(limitMs);
        int status = 0;
        while (Clock::now() < until) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                           : "exit " + std::to_string(WEXITSTATUS(status));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "running";
    }

    std::string errors() const
    {
        std::ifstream file(errorsPath_);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

private:
    fs::path errorsPath_;
    int readEnd_ = -1;
    pid_t pid_ = 0;
};

int countEvents(const SimProcess& sim, const std::string& device, const std::string& event)
{
    int count = 0;
    for (const auto& record : sim.records()) count += record.device == device && record.event == event;
    return count;
}

class LumaroUpdateOutputClosed : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder = bustest::makeTemporaryFolder("lumaro-update-pipe-test-");
};

// Both forms of the output: JSON lines for a line controller, plain lines for a person's script.
TEST_F(LumaroUpdateOutputClosed, AReaderGoneAfterTheFirstLineLeavesTheUpdateToEndDone)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> forms{{{"--json"}, "{\"event\":\"start\""},
                                                                              {{}, "Updating "}};
    for (const auto& [arguments, firstLineStart] : forms) {
        SCOPED_TRACE(arguments.empty() ? "plain lines" : "JSON lines");
        const SimProcess sim({"--controller", "ctl,disk-ms=20,erase-ms=20"});
        sim.useBus();
        PipedRun run(arguments, folder);
        ASSERT_TRUE(run.started());
        const std::string first = run.firstLine(10000);
        EXPECT_TRUE(first.starts_with(firstLineStart)) << first;
        run.closeReader();

        EXPECT_EQ(run.end(kUnitLimitMs), "exit 0") << run.errors();  // "signal 13" when SIGPIPE ends it
        EXPECT_TRUE(sim.waitForEvent("ctl", "firmware-updated"));
        EXPECT_EQ(countEvents(sim, "ctl", "firmware-updated"), 1);
        // Told once; a machine without logind adds its own warning.
        const std::string errors = run.errors();
        const std::string told = "Standard output was closed: lumaro-update goes on without writing to it.\n";
        const std::size_t at = errors.find(told);
        EXPECT_NE(at, std::string::npos) << errors;
        EXPECT_EQ(errors.find(told, at + 1), std::string::npos) << errors;
    }
}

}  // namespace
