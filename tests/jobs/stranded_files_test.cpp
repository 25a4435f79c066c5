// The finish of a stranded update takes its files from its record, which anyone may have written:
// only the program's own files in Firmware/, the files themselves and as they were recorded, are
// taken; everything else is refused with the reason, a pipe without being read.
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

TEST(StrandedFiles, OnlyTheProgramsOwnFilesAsRecordedAreTaken) {
    const fs::path app = bustest::makeTemporaryFolder("stranded-files-"), firmware = app / "Firmware/TS_FW_1.0.4.bin",
                   image = app / "Firmware/TS_IMG_1.0.4.bin", outside = app / "outside.bin";
    fs::create_directories(app / "Firmware/sub");
    for (const fs::path& file : {firmware, image, outside, app / "Firmware/sub/Deep_FW_1.0.0.bin"})
        std::ofstream(file, std::ios::binary) << file.filename().string();
    std::ofstream(app / "Firmware/Empty_FW_1.0.0.bin");
    std::error_code error;
    fs::create_symlink(outside, app / "Firmware/Linked_FW_1.0.0.bin", error);
    const char* linkOut = error ? "is gone" : "is not one of the program's own files";  // Wine makes no links
#ifndef _WIN32
    ::mkfifo((app / "Firmware/Pipe_FW_1.0.0.bin").c_str(), 0666);
#endif
    const auto sha = [](const fs::path& file) { return fileSha256(file.string()).value_or(""); };
    struct Case {
        fs::path firmware, image;
        std::string firmwareSha, imageSha;
        const char* problem;  // nullptr: taken
    } const cases[] = {
        {firmware, image, sha(firmware), sha(image), nullptr},
        {firmware, {}, sha(firmware), {}, nullptr},
        {outside, image, sha(outside), sha(image), "is not one of the program's own files"},
        {app / "Firmware/../outside.bin", image, sha(outside), sha(image), "is not one of the program's own files"},
        {app / "Firmware/Linked_FW_1.0.0.bin", image, sha(outside), sha(image), linkOut},
        {app / "Firmware/sub/Deep_FW_1.0.0.bin", image, sha(firmware), sha(image), "is not one of the program's own files"},
        {firmware, image, sha(outside), sha(image), "has changed since the update began"},
        {app / "Firmware/Gone_FW_1.0.0.bin", image, sha(firmware), sha(image), "is gone"},
        {app / "Firmware/Empty_FW_1.0.0.bin", image, sha(app / "Firmware/Empty_FW_1.0.0.bin"), sha(image), "empty file"},
        {firmware, outside, sha(firmware), sha(outside), "the image data file"},
#ifndef _WIN32
        {app / "Firmware/Pipe_FW_1.0.0.bin", image, sha(firmware), sha(image), "not a file"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware.string() + " " + c.image.string());
        HistoryEntry entry;
        entry.firmwarePath = c.firmware.string(), entry.firmwareSha256 = c.firmwareSha;
        entry.imagePath = c.image.empty() ? std::string() : c.image.string(), entry.imageSha256 = c.imageSha;
        const std::optional<std::string> problem = strandedFilesProblem(app.string() + "/", entry);
        EXPECT_EQ(problem.has_value(), c.problem != nullptr) << problem.value_or("");
        if (problem && c.problem) {
            EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
        } else if (!problem) {
            EXPECT_EQ(entry.firmwarePath, platform::resolvedPath(firmware.string()));
        }
    }
    fs::remove_all(app);
}

}  // namespace
