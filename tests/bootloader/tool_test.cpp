// zerlin-tool runs the library's calling order and says how each step went.
#include "session_test_support.h"
#include "hex_test_support.h"

#include "bootloader/boot_protocol.h"
#include "minisign_signer.h"
#include "signing/minisign_format.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

namespace zerlin::test {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard output
    std::string errors;  // standard error
};

ToolRun runTool(const std::string& arguments, const std::string& tool = ZERLIN_TOOL_PATH)
{
    ToolRun run;
    const std::string errorFile = ::testing::TempDir() + "zerlin-tool-stderr.txt";
    FILE* pipe = ::popen(("'" + tool + "' " + arguments + " 2>'" + errorFile + "'").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ostringstream errors;
    errors << std::ifstream(errorFile).rdbuf();
    run.errors = errors.str();
    return run;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// 2 KiB of data at the start of the program region below.
std::string firmware()
{
    std::string text;
    for (std::uint16_t address = 0x1000; address < 0x1800; address += 32) text += dataRecord(address, sequence(32));
    return text + ":00000001FF\n";
}

constexpr const char* kSmallBoard = "erase-ms=20,regions=1:0x1000:0x800;3:0x1FFF8:8";

using ZerlinTool = BoardSession;

TEST_F(ZerlinTool, ProgramsVerifiesAndResetsTheBoard)
{
    startBoard(kSmallBoard);
    const ToolRun run = runTool("--separate-erase 'VID_04D8&PID_003C' '" + writeFile("fw.hex", firmware()) + "'");
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    for (const char* step : {"query layout", "erase", "program", "verify", "reset"})
        EXPECT_TRUE(contains(run.output, step)) << step << "\n" << run.output;
    // Not a terminal: plain lines with the bytes each step moved and their rate.
    EXPECT_TRUE(contains(run.output, "program                      ok  2.0 KiB in ")) << run.output;
    EXPECT_TRUE(contains(run.output, "KiB/s")) << run.output;
    EXPECT_FALSE(contains(run.output, "\r")) << run.output;
    EXPECT_TRUE(run.errors.empty()) << run.errors;
    EXPECT_TRUE(sim().waitForEvent("board", "reset"));
}

TEST_F(ZerlinTool, ChecksTheFileFirstAndRefusesOneForAnotherChipBeforeErasing)
{
    startBoard(kSmallBoard);
    const std::string cut = writeFile("cut.hex", dataRecord(0x1000, {1, 2}) + ":10101000D0\n");
    ToolRun run = runTool("'VID_9999&PID_9999' '" + cut + "'");  // no such board: the file is told first
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.errors, "line 2 ends before the data its byte count announces")) << run.errors;
    EXPECT_FALSE(contains(run.output + run.errors, "search")) << run.output << run.errors;

    run = runTool("'VID_04D8&PID_003C' '" + writeFile("other.hex", ":020000040020DA\n" + dataRecord(0, sequence(16))) + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.errors, "another chip")) << run.errors;
    EXPECT_TRUE(contains(run.errors, "0x1000-0x17FF")) << run.errors;
    settle();
    EXPECT_TRUE(received(BootCmdErase).empty());
    EXPECT_TRUE(received(BootCmdProgram).empty());
}

TEST_F(ZerlinTool, FailuresGoToStandardErrorWithTheirCause)
{
    startBoard("fault=silent");
    const std::string hex = writeFile("fw.hex", firmware());
    ToolRun run = runTool("'VID_04D8&PID_003C' '" + hex + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.output, "search VID_04D8&PID_003C")) << run.output;
    EXPECT_TRUE(contains(run.errors, "query layout FAILED: no answer in time")) << run.errors;
    EXPECT_FALSE(contains(run.output, "FAILED")) << run.output;

    // A failed switch is told once, not followed by a search that seems to have failed on its own.
    run = runTool("--switch VID_1234 --wait-ms 0 'VID_04D8&PID_003C' '" + hex + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(countOf(run.errors, "FAILED"), 1u) << run.errors;
    EXPECT_TRUE(contains(run.errors, "search VID_1234 FAILED: no such device")) << run.errors;

    EXPECT_EQ(runTool("").exitCode, 2);
    EXPECT_EQ(runTool("--wait-ms soon VID_04D8 fw.hex").exitCode, 2);
    const ToolRun help = runTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.output, "Usage: zerlin-tool"));
}

TEST_F(ZerlinTool, ABoardUnpluggedDuringVerificationIsReportedGone)
{
    // Two queries, the erase and its query, 37 packets and a flush, then verification.
    startBoard(std::string(kSmallBoard) + ",timing=full-speed,unplug-after=60");
    const ToolRun run = runTool("'VID_04D8&PID_003C' '" + writeFile("fw.hex", firmware()) + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.output, "erase and program")) << run.output;
    EXPECT_TRUE(contains(run.errors, "verify FAILED: the board is gone")) << run.errors;
}

// The HEX file's signature is checked against the keys beside the tool, before the board is looked for.
TEST_F(ZerlinTool, ASignedFileIsProgrammedAndOneWhoseSignatureFailsIsRefusedBeforeTheBoard)
{
    namespace fs = std::filesystem;
    startBoard(kSmallBoard);
    const std::string hex = writeFile("board_1.2.hex", firmware());
    const fs::path folder = fs::path(hex).parent_path() / "tool";
    fs::create_directory(folder);
    const fs::path tool = fs::path(ZERLIN_TOOL_PATH);
    for (const fs::path& file : {tool, tool.parent_path() / ZERLIN_LIBRARY_NAME}) fs::copy_file(file, folder / file.filename());
    fs::create_directory(folder / "Keys");
    const lumaro::test::TestSigningKey vendor = lumaro::test::repositoryTestKey();
    lumaro::test::trustKey((folder / "Keys").string(), vendor, "vendor");
    const std::string copy = (folder / tool.filename()).string();

    lumaro::test::signWithMinisign(hex, vendor);
    ToolRun run = runTool("'VID_04D8&PID_003C' '" + hex + "'", copy);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(contains(run.output, "check signature              ok  key " + keyIdText(vendor.id))) << run.output;

    std::ofstream(hex, std::ios::app) << "\n";  // one byte more after signing
    run = runTool("'VID_04D8&PID_003C' '" + hex + "'", copy);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.errors, "check signature FAILED: signature " + hex + ".minisig does not match")) << run.errors;
    EXPECT_FALSE(contains(run.output, "search")) << run.output;

    fs::remove(hex + ".minisig");
    std::ofstream((folder / "Keys/require-signatures").string()).flush();
    run = runTool("'VID_04D8&PID_003C' '" + hex + "'", copy);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.errors, "check signature FAILED: no signature board_1.2.hex.minisig")) << run.errors;
    EXPECT_EQ(countOf(run.output, "search"), 0u);
}

}  // namespace
}  // namespace zerlin::test
