// The files the recorder makes and holds itself: created only where nothing is (a planted link
// included), under names nobody can guess, locked against a second holder, read back with a limit,
// checked for their owner, and moved into place and synced so that a power cut keeps them; and in a
// folder that others write into, only plain files are opened.
#include "platform/files/exclusive_file.h"
#include "platform/files/file_lock.h"
#include "platform/files/file_move.h"
#include "platform/files/file_owner.h"
#include "platform/files/file_sync.h"
#include "platform/files/folder_link.h"
#include "platform/files/plain_file.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class OwnFiles : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(folder); }
    const fs::path folder = bustest::makeTemporaryFolder("own-files-");
    // A symbolic link, where the system lets this user make one (Windows asks for a privilege).
    bool linkTo(const fs::path& target, const fs::path& link)
    {
        std::error_code error;
        fs::create_symlink(target, link, error);
        return !error;
    }
};

TEST_F(OwnFiles, ANewFileIsMadeOnlyWhereNothingIsAndAPlantedLinkIsNotFollowed)
{
    const fs::path journal = folder / "log.xls.journal";
    {
        platform::File file = platform::createNewFile(journal.string());
        ASSERT_TRUE(file.isOpen());
        EXPECT_EQ(file.write("1\t1\tx\n"), 6u);
        EXPECT_TRUE(file.sync());
    }
    EXPECT_FALSE(platform::createNewFile(journal.string()).isOpen()) << "an existing file is not truncated";
    EXPECT_EQ(contentOf(journal), "1\t1\tx\n");

    const fs::path victim = folder / "victim.txt";
    std::ofstream(victim) << "keep";
    if (linkTo(victim, folder / "planted.journal")) {
        EXPECT_FALSE(platform::createNewFile((folder / "planted.journal").string()).isOpen());
    }
    if (linkTo(folder / "nowhere", folder / "dangling.journal")) {
        EXPECT_FALSE(platform::createNewFile((folder / "dangling.journal").string()).isOpen());
        EXPECT_FALSE(fs::exists(folder / "nowhere")) << "the link's target was made";
    }
    EXPECT_EQ(contentOf(victim), "keep");
}

TEST_F(OwnFiles, UniqueFilesGetFreshNamesBesideTheirStem)
{
    const std::string stem = (folder / "log.xls").string();
    std::set<std::string> names;
    std::vector<platform::File> held;
    for (int i = 0; i < 5; ++i) {
        std::string path;
        held.push_back(platform::createUniqueFile(stem, ".saving", path));
        ASSERT_TRUE(held.back().isOpen());
        EXPECT_EQ(path.rfind(stem + ".", 0), 0u) << path;
        EXPECT_TRUE(path.ends_with(".saving")) << path;
        EXPECT_GT(path.size(), stem.size() + 1 + 8 + 7) << "a random part too short to be unguessable: " << path;
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 5u);
    std::string path;
    EXPECT_FALSE(platform::createUniqueFile((folder / "missing" / "log.xls").string(), ".saving", path).isOpen());
    EXPECT_TRUE(path.empty());
}

TEST_F(OwnFiles, ALockedFileCannotBeLockedAgainUntilItsHolderClosesIt)
{
    const fs::path journal = folder / "live.journal";
    platform::File writer = platform::createNewFile(journal.string());
    ASSERT_TRUE(writer.isOpen());
    ASSERT_TRUE(platform::tryLockFile(writer));
    ASSERT_EQ(writer.write("4\t1\t12:00:00\n"), 13u);

    platform::File reader = platform::openForReading(journal.string());
    ASSERT_TRUE(reader.isOpen());
    EXPECT_FALSE(platform::tryLockFile(reader)) << "a live journal taken for a leftover";
    EXPECT_EQ(reader.readAll(1024), "4\t1\t12:00:00\n") << "the lock keeps no one from reading";
    writer.close();
    EXPECT_TRUE(platform::tryLockFile(reader));
}

TEST_F(OwnFiles, ReadingStopsAtTheLimitAndOnlyPlainFilesOfThisUserCount)
{
    const fs::path journal = folder / "big.journal";
    std::ofstream(journal, std::ios::binary) << std::string(70000, 'x');
    platform::File file = platform::openForReading(journal.string());
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(platform::isOwnRegularFile(file));
    EXPECT_EQ(file.readAll(69999), std::nullopt);
    EXPECT_EQ(platform::openForReading(journal.string()).readAll(70000)->size(), 70000u);

    fs::create_directory(folder / "dir.journal");
    const platform::File directory = platform::openForReading((folder / "dir.journal").string());
    EXPECT_FALSE(directory.isOpen() && platform::isOwnRegularFile(directory));
    if (linkTo(journal, folder / "link.journal")) {
        const platform::File link = platform::openForReading((folder / "link.journal").string());
        EXPECT_FALSE(link.isOpen() && platform::isOwnRegularFile(link)) << "a link was followed";
    }
    EXPECT_FALSE(platform::openForReading((folder / "gone.journal").string()).isOpen());
}

// Where others write, a plain file is opened, read at an offset, appended to and replaced through its
// handle; what else may be under a name there is refused (the history's tests plant each kind).
TEST_F(OwnFiles, APlainFileIsUsedThroughItsHandleWhereOthersWrite)
{
    using Found = platform::PlainFileOpening::Found;
    std::ofstream(folder / "plain", std::ios::binary) << "rows";
    fs::create_directory(folder / "folder");
    const std::string in = folder.string() + "/";
    EXPECT_EQ(platform::openPlainFile(in, "missing", platform::PlainFileAccess::Read).found, Found::Nothing);
    EXPECT_EQ(platform::openPlainFile(in, "folder", platform::PlainFileAccess::ReadAppend).found, Found::NotPlain);
    platform::PlainFileOpening plain = platform::openPlainFile(in, "plain", platform::PlainFileAccess::ReadAppend);
    ASSERT_EQ(plain.found, Found::File);
    EXPECT_EQ(plain.file.size(), 4u);
    EXPECT_EQ(plain.file.readAt(1, 10), "ows");
    EXPECT_EQ(plain.file.appendAtEnd("+more"), 5u);
    EXPECT_EQ(contentOf(folder / "plain"), "rows+more");
    EXPECT_TRUE(plain.file.replaceWith("new"));
    EXPECT_EQ(contentOf(folder / "plain"), "new");
}

TEST_F(OwnFiles, AFileMovedIntoPlaceReplacesTheOldOneAndTheFolderIsSynced)
{
    const fs::path target = folder / "log.xls";
    std::ofstream(target) << "older";
    std::string partial;
    {
        platform::File file = platform::createUniqueFile(target.string(), ".saving", partial);
        ASSERT_TRUE(file.isOpen());
        file.write("newer");
        ASSERT_TRUE(file.sync());
    }
    EXPECT_TRUE(platform::moveIntoPlace(partial, target.string()));
    EXPECT_EQ(contentOf(target), "newer");
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(platform::moveIntoPlace(partial, target.string()));
    EXPECT_EQ(contentOf(target), "newer");

    EXPECT_TRUE(platform::syncFolderToDisk(folder.string()));
    EXPECT_FALSE(platform::syncFolderToDisk((folder / "missing").string()));
}

TEST_F(OwnFiles, APlainFolderIsNoLinkNorIsOneThisUserMade)
{
    fs::create_directory(folder / "Record");
    EXPECT_FALSE(platform::isUntrustedFolderLink((folder / "Record").string()));
    EXPECT_FALSE(platform::isUntrustedFolderLink((folder / "Record").string() + "/"));
    EXPECT_FALSE(platform::isUntrustedFolderLink((folder / "missing").string()));
    std::error_code error;
    fs::create_directory_symlink(folder / "Record", folder / "Linked", error);
    if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
#ifdef _WIN32
    EXPECT_TRUE(platform::isUntrustedFolderLink((folder / "Linked").string() + "\\"));
#else
    EXPECT_FALSE(platform::isUntrustedFolderLink((folder / "Linked").string() + "/")) << "this user's own link";
#endif
}

// A portable copy in a cloud folder: its folders are reparse points that keep their place (the cloud
// files' tags), which are no link; junctions and symbolic links stand for another name and are.
TEST(FolderLinks, OnlyReparsePointsThatStandForAnotherNameAreLinks)
{
    for (const std::uint32_t tag : {0xA0000003u /* junction */, 0xA000000Cu /* symbolic link */})
        EXPECT_TRUE(platform::isLinkReparseTag(tag)) << std::hex << tag;
    for (const std::uint32_t tag : {0x9000001Au /* cloud file */, 0x9000701Au /* cloud file, another provider */,
                                    0x80000013u /* deduplication */, 0x80000017u /* compressed by the system */})
        EXPECT_FALSE(platform::isLinkReparseTag(tag)) << std::hex << tag;
}

}  // namespace
