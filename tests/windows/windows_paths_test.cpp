// Paths whose folders hold letters outside ASCII, as users' folders often do, on Windows (and under
// Wine): the system takes them whole only as UTF-16, and a narrow name in the ANSI code page reaches
// them only where that code page has every letter.
#include "platform/files/file_sync.h"
#include "platform/core/narrow_path.h"
#include "platform/core/utf8_path.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class UserFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = bustest::makeTemporaryFolder("lumaro-paths-");
        // One the Western code pages hold, and one no single-byte code page holds.
        for (const char8_t* name : {u8"Zoë Müller", u8"Пользователь 用户"}) {
            folders.push_back(root_ / name);
            fs::create_directory(folders.back());
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<fs::path> folders;

private:
    fs::path root_;
};

// The workbook writer's C library opens files by narrow names: UTF-8 bytes read in the ANSI code
// page name another file, the name narrowPathOf gives reaches the one meant.
TEST_F(UserFolders, TheNarrowNameOfAFileReachesItWhereItsUtf8BytesDoNot)
{
    for (const fs::path& folder : folders) {
        const fs::path file = folder / "log.xls";
        std::ofstream(file, std::ios::binary) << "saved";
        if (GetACP() != CP_UTF8) {
            std::FILE* misread = std::fopen(platform::utf8String(file).c_str(), "rb");
            EXPECT_EQ(misread, nullptr) << "UTF-8 taken as the ANSI code page: " << platform::utf8String(file);
            if (misread != nullptr) std::fclose(misread);
        }
        for (const fs::path& existing : {file, folder}) {
            const std::optional<std::string> narrow = platform::narrowPathOf(existing);
            ASSERT_TRUE(narrow.has_value()) << platform::utf8String(existing);
            EXPECT_NE(GetFileAttributesA(narrow->c_str()), INVALID_FILE_ATTRIBUTES) << *narrow;
        }
        std::FILE* opened = std::fopen(platform::narrowPathOf(file)->c_str(), "rb");
        ASSERT_NE(opened, nullptr);
        char text[8] = {};
        EXPECT_EQ(std::fread(text, 1, sizeof text, opened), 5u);
        std::fclose(opened);
        EXPECT_EQ(std::string(text), "saved");
    }
}

TEST_F(UserFolders, UnderThemAFileIsSyncedAndItsUtf8PathReachesIt)
{
    for (const fs::path& folder : folders) {
        const std::string journal = platform::utf8String(folder / "log.xls.journal");
        std::ofstream(platform::utf8Path(journal)) << "1\t1\tMeasure Device\n";
        EXPECT_TRUE(platform::syncFileToDisk(journal)) << journal;
        EXPECT_TRUE(fs::exists(platform::utf8Path(journal)));
    }
}

}  // namespace
