// A program that ends through endProcess keeps its exit code, and what it wrote but had not yet
// flushed reaches its file: scripts read both.
#include "platform/process/process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ProcessEnd, TheExitCodeAndUnflushedOutputOutliveTheProcess)
{
    const std::filesystem::path folder = bustest::makeTemporaryFolder("lumaro-process-end-");
    for (const int code : {0, 7, 200}) {
        const std::filesystem::path output = folder / ("out" + std::to_string(code) + ".txt");
        const platform::ProcessResult result =
            platform::runProcess({LUMARO_ENDING_PROGRAM, output.string(), "written, not flushed", std::to_string(code)}, 30000);
        ASSERT_EQ(result.status, platform::ProcessResult::Status::Exited) << code;
        EXPECT_EQ(result.exitCode, code);
        EXPECT_EQ(readAll(output), "written, not flushed") << code;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
