// The finish of a stranded update takes its files from its record, which anyone may have written:
// only the program's own files in Firmware/, the files themselves and as they were recorded, are
// taken; everything else is refused with the reason, without reading a pipe.
#include "temporary_folder.h"

#include "jobs/file_sha256.h"
#include "jobs/stranded_files.h"
#include "platform/files/resolved_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

class StrandedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app / "Firmware/sub");
        write(firmware, "firmware");
        write(image, "image data");
        write(outside, "another user's file");
        write(app / "Firmware/Empty_FW_1.0.0.bin", "");
        write(app / "Firmware/sub/Deep_FW_1.0.0.bin", "firmware");
        std::error_code error;
        fs::create_symlink(outside, app / "Firmware/Linked_FW_1.0.0.bin", error);
        linked = !error;
    }
    void TearDown() override { fs::remove_all(app); }
    static void write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    static std::string sha(const fs::path& file) { return fileSha256(file.string()).value_or(""); }

    const fs::path app = bustest::makeTemporaryFolder("stranded-files-");
    const fs::path firmware = app / "Firmware/Tessaray_FW_1.0.4.bin";
    const fs::path image = app / "Firmware/Tessaray_IMG_1.0.4.bin";
    const fs::path outside = app / "outside.bin";
    bool linked = false;
};

TEST_F(StrandedFiles, OnlyTheProgramsOwnFilesAsRecordedAreTaken) {
    struct Case {
        const char* name;
        fs::path firmware;
        std::string firmwareSha;
        fs::path image;
        std::string imageSha;
        const char* problem;  // nullptr: taken
    };
    const std::string fwSha = sha(firmware), imgSha = sha(image), outsideSha = sha(outside);
    const fs::path linkedFirmware = app / "Firmware/Linked_FW_1.0.0.bin";
    const std::vector<Case> cases{
        {"own files", firmware, fwSha, image, imgSha, nullptr},
        {"no image data named", firmware, fwSha, {}, {}, nullptr},
        {"a file outside", outside, outsideSha, image, imgSha, "is not one of the program's own files"},
        {"a way out through ..", app / "Firmware/../outside.bin", outsideSha, image, imgSha, "is not one of the program's own files"},
        {"a link out of Firmware/", linkedFirmware, outsideSha, image, imgSha, linked ? "is not one of the program's own files" : "is gone"},
        {"a file of a sub-folder", app / "Firmware/sub/Deep_FW_1.0.0.bin", fwSha, image, imgSha, "is not one of the program's own files"},
        {"another hash", firmware, outsideSha, image, imgSha, "has changed since the update began"},
        {"no hash recorded", firmware, "", image, imgSha, "has changed since the update began"},
        {"gone", app / "Firmware/Gone_FW_1.0.0.bin", fwSha, image, imgSha, "is gone"},
        {"empty", app / "Firmware/Empty_FW_1.0.0.bin", sha(app / "Firmware/Empty_FW_1.0.0.bin"), image, imgSha, "empty file"},
        {"image data outside", firmware, fwSha, outside, outsideSha, "the image data file"},
        {"image data changed", firmware, fwSha, image, fwSha, "the image data file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryEntry entry;
        entry.firmwarePath = c.firmware.string();
        entry.firmwareSha256 = c.firmwareSha;
        entry.imagePath = c.image.empty() ? std::string() : c.image.string();
        entry.imageSha256 = c.imageSha;
        const std::optional<std::string> problem = strandedFilesProblem(app.string() + "/", entry);
        if (!c.problem) {
            EXPECT_FALSE(problem) << *problem;
            EXPECT_EQ(entry.firmwarePath, platform::resolvedPath(firmware.string()));
            continue;
        }
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
}

#ifndef _WIN32
// A pipe in the firmware's place would hold a reading up for ever.
TEST_F(StrandedFiles, APipeIsRefusedWithoutBeingRead) {
    const fs::path pipe = app / "Firmware/Pipe_FW_1.0.0.bin";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    HistoryEntry entry;
    entry.firmwarePath = pipe.string();
    entry.firmwareSha256 = sha(firmware);
    const std::optional<std::string> problem = strandedFilesProblem(app.string() + "/", entry);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("not a file"), std::string::npos) << *problem;
}
#endif

}  // namespace
