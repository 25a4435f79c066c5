// The users of a PC share one history (a folder made for all of them, as the package and the
// installer make it): each user's rows reach it, and a job one user's program left dead or stranded
// is recorded and finished by the next user's. Each step runs as a user of its own (setpriv), with
// a umask that keeps their files private. Needs root, as the tests' machine gives it.
#include "temporary_folder.h"

#include "platform/process/process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kFirstUser = 47101, kSecondUser = 47102;

class SharedHistory : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "only root can act as other users";
        root = bustest::makeTemporaryFolder("lumaro-shared-history-");
        folder = root / "History";
        fs::create_directory(folder);
        // As the package makes it: every user may write, and remove what another made.
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::permissions(folder, fs::perms::all);
    }
    void TearDown() override {
        if (!root.empty()) fs::remove_all(root);
    }

    // Whether history_user did what it was asked as the given user.
    bool asUser(int user, const std::string& command, const std::string& argument) const {
        const std::string id = std::to_string(user);
        const platform::ProcessResult result = platform::runProcess(
            {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", LUMARO_HISTORY_USER, command,
             folder.string() + "/", argument},
            30000);
        return result.status == platform::ProcessResult::Status::Exited && result.exitCode == 0;
    }

    std::size_t rowsWith(const std::string& text) const {
        std::ifstream in(folder / "UpdateHistory.csv", std::ios::binary);
        std::size_t count = 0;
        for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
        return count;
    }

    fs::path root, folder;
};

TEST_F(SharedHistory, EveryUsersRowsAndEveryUsersDeadJobsReachTheOneHistory) {
    ASSERT_TRUE(asUser(kFirstUser, "append", "erase"));
    EXPECT_TRUE(asUser(kSecondUser, "append", "reset")) << "a file another user began";
    EXPECT_TRUE(asUser(kFirstUser, "append", "reset"));
    EXPECT_EQ(rowsWith(",erase,"), 1u);
    EXPECT_EQ(rowsWith(",reset,"), 2u);
    EXPECT_EQ(rowsWith("program version"), 1u) << "one header";

    // A job the first user's program left when it died is recorded once, by the second user's.
    ASSERT_TRUE(asUser(kFirstUser, "die", "erase"));
    EXPECT_TRUE(asUser(kSecondUser, "recover", "1"));
    EXPECT_TRUE(asUser(kFirstUser, "recover", "0")) << "recorded once, not at every start";
    EXPECT_EQ(rowsWith(",interrupted,"), 1u);

    // An update left in the controller's bootloader by one user is finished by the other.
    ASSERT_TRUE(asUser(kSecondUser, "die", "copy"));
    EXPECT_TRUE(asUser(kFirstUser, "recover", "1"));
    EXPECT_EQ(rowsWith(",interrupted,"), 2u);
    EXPECT_TRUE(asUser(kFirstUser, "finish", "1"));
    EXPECT_TRUE(asUser(kSecondUser, "finish", "0"));
    EXPECT_EQ(rowsWith(",done,"), 4u);

    const auto left = std::count_if(fs::directory_iterator(folder), fs::directory_iterator(), [](const auto& file) {
        const std::string name = file.path().filename().string();
        return name != "UpdateHistory.csv" && name != "UpdateHistory.write-lock";
    });
    EXPECT_EQ(left, 0) << "no marker, record or lock of a finished job stays";
}

}  // namespace
