// Syncing a file to disk while its writer still holds it open, as the recorder does its journal.
#include "platform/files/file_sync.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(FileSync, AFileStillOpenForWritingIsSyncedAndAMissingOneIsNot) {
    const std::filesystem::path folder = bustest::makeTemporaryFolder("file-sync-");
    const std::filesystem::path journal = folder / "log.xls.journal";
    {
        std::ofstream writer(journal, std::ios::binary);
        writer << "1\t1\tMeasure Device\n" << std::flush;
        EXPECT_TRUE(platform::syncFileToDisk(journal.string()));
        writer << "4\t3\t23\n" << std::flush;
        EXPECT_TRUE(platform::syncFileToDisk(journal.string()));
    }
    EXPECT_EQ(std::filesystem::file_size(journal), 26u);  // syncing writes nothing of its own
    EXPECT_FALSE(platform::syncFileToDisk((folder / "gone.journal").string()));
    std::filesystem::remove_all(folder);
}

}  // namespace
