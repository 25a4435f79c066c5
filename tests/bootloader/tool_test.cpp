// zerlin-tool runs the library's calling order and says how each step went.
#include "session_test_support.h"
#include "hex_test_support.h"

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace zerlin::test {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun runTool(const std::string& arguments)
{
    ToolRun run;
    FILE* pipe = ::popen((std::string("'") + ZERLIN_TOOL_PATH + "' " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

using ZerlinTool = BoardSession;

TEST_F(ZerlinTool, ProgramsVerifiesAndResetsTheBoard)
{
    startBoard("erase-ms=20,regions=1:0x100:0x100");
    const std::string hex = writeFile("fw.hex", dataRecord(0x100, sequence(16)) + ":00000001FF\n");
    const ToolRun run = runTool("--separate-erase 'VID_04D8&PID_003C' '" + hex + "'");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char* step : {"query layout", "erase", "program", "verify", "reset"})
        EXPECT_NE(run.output.find(step), std::string::npos) << step << "\n" << run.output;
    EXPECT_EQ(run.output.find("FAILED"), std::string::npos) << run.output;
    EXPECT_TRUE(sim().waitForEvent("board", "reset"));
}

TEST_F(ZerlinTool, StopsAtTheFirstFailedStepWithItsErrorAndRefusesBadUsage)
{
    startBoard("fault=silent");
    const ToolRun run = runTool("'VID_04D8&PID_003C' /nonexistent.hex");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("query layout"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("FAILED (error 1460"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("load"), std::string::npos) << run.output;

    EXPECT_EQ(runTool("").exitCode, 2);
    EXPECT_EQ(runTool("--wait-ms soon VID_04D8 fw.hex").exitCode, 2);
    const ToolRun help = runTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Usage: zerlin-tool"), std::string::npos);
}

}  // namespace
}  // namespace zerlin::test
