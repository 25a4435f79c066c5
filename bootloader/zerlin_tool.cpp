// zerlin-tool: programs a board through the shared library's full calling order, the order its
// callers use, and says how each step went. It checks the firmware file before it looks for the
// board (its vendor's signature too, where there is one or Keys/require-signatures beside the tool
// asks for one), and against the board's memory layout before anything is erased.
#include "bootloader/tool_board.h"
#include "bootloader/tool_plan.h"
#include "bootloader/tool_progress.h"
#include "bootloader/zerlin.h"
#include "platform/core/os_error.h"
#include "platform/console/program_arguments.h"
#include "platform/console/terminal.h"
#include "platform/core/utf8_path.h"
#include "platform/process/own_folder.h"
#include "signing/file_signature.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void printUsage(std::FILE* out)
{
    std::fputs(
        "Usage: zerlin-tool [options] HARDWARE_ID FIRMWARE.hex\n"
        "Programs a PIC18F47J53 board through its USB HID bootloader: finds it, reads its memory\n"
        "layout, loads the Intel HEX file, erases and programs the flash, verifies it and resets.\n"
        "\n"
        "  HARDWARE_ID        part of the bootloader's hardware ID, upper case (VID_04D8&PID_003C)\n"
        "  --switch APP_ID    first ask the application firmware found by APP_ID to restart into\n"
        "                     its bootloader, then wait for HARDWARE_ID to appear\n"
        "  --wait-ms N        how long to wait for the bootloader after --switch (default 10000)\n"
        "  --separate-erase   erase and program in two calls instead of one\n"
        "  --no-reset         leave the board in its bootloader at the end\n"
        "  -h, --help         show this text\n"
        "\n"
        "Progress goes to standard output (a bar on a terminal), failures to standard error.\n"
        "Exit status: 0 when every step succeeded, 1 when one failed, 2 for a usage error.\n"
        "Set LUMARO_VBUS_DIR to work on a virtual bus instead of the real one.\n",
        out);
}

struct Options {
    std::string hardwareId;
    std::string firmwarePath;
    std::string applicationId;  // empty: no bootloader-mode switch
    int waitMs = 10000;
    bool separateErase = false;
    bool reset = true;
};

bool parseOptions(const std::vector<std::string>& args, Options& options)
{
    std::string* positional[] = {&options.hardwareId, &options.firmwarePath};
    std::size_t positionals = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "--switch" || arg == "--wait-ms") && i + 1 >= args.size()) {
            std::fprintf(stderr, "zerlin-tool: %s needs a value\n", arg.c_str());
            return false;
        }
        if (arg == "--switch") {
            options.applicationId = args[++i];
        } else if (arg == "--wait-ms") {
            char* rest = nullptr;
            const long value = std::strtol(args[++i].c_str(), &rest, 10);
            if (*rest != '\0' || value < 0 || value > 600000) {
                std::fprintf(stderr, "zerlin-tool: --wait-ms takes milliseconds from 0 to 600000\n");
                return false;
            }
            options.waitMs = static_cast<int>(value);
        } else if (arg == "--separate-erase") {
            options.separateErase = true;
        } else if (arg == "--no-reset") {
            options.reset = false;
        } else if (arg.starts_with("-")) {
            std::fprintf(stderr, "zerlin-tool: unknown option %s\n", arg.c_str());
            return false;
        } else if (positionals < 2) {
            *positional[positionals++] = arg;
        } else {
            std::fprintf(stderr, "zerlin-tool: unexpected argument %s\n", arg.c_str());
            return false;
        }
    }
    if (positionals < 2) {
        std::fprintf(stderr, "zerlin-tool: a hardware ID and a firmware file are needed\n");
        return false;
    }
    return true;
}

// Successful steps go to standard output, failures to standard error.
void reportOk(const std::string& step, const std::string& detail = {})
{
    std::printf("%-28s ok%s%s\n", step.c_str(), detail.empty() ? "" : "  ", detail.c_str());
    std::fflush(stdout);
}

bool reportFailure(const std::string& step, const std::string& reason)
{
    std::fprintf(stderr, "zerlin-tool: %s FAILED: %s\n", step.c_str(), reason.c_str());
    return false;
}

// Why a step on the board failed: the library keeps its error code to itself, but a board that
// has left the bus is the one cause worth telling apart.
bool reportBoardFailure(const std::string& step, const std::string& hardwareId, const std::string& otherwise)
{
    return reportFailure(step, zerlin::findBoardPath(hardwareId) ? otherwise : "the board is gone (unplugged?)");
}

std::string osErrorText(platform::OsError error)
{
    return "error " + std::to_string(error) + ": " + platform::describe(error);
}

bool findBoard(const std::string& hardwareId) { return M47J53_SetUSBHandle(hardwareId.c_str()) != 0; }

bool switchToBootloader(const Options& options)
{
    const std::string search = "search " + options.applicationId;
    if (!findBoard(options.applicationId)) return reportFailure(search, "no such device");
    reportOk(search);
    if (M47J53_Set_BootLoaderMode() == 0)
        return reportBoardFailure("switch to bootloader", options.applicationId, "the request could not be written");
    reportOk("switch to bootloader");
    // The board leaves the bus and comes back as its bootloader.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.waitMs);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (findBoard(options.hardwareId)) return true;
    } while (std::chrono::steady_clock::now() < deadline);
    return reportFailure("search " + options.hardwareId,
                         "did not appear within " + std::to_string(options.waitMs) + " ms");
}

bool readFile(const std::string& path, std::string& content)
{
    std::ifstream file(platform::utf8Path(path), std::ios::binary);
    if (!file) return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// The board's layout as the tool reads it itself, to plan and check the flashing.
bool readLayout(const std::string& hardwareId, zerlin::DeviceLayout& layout)
{
    const std::string step = "query layout";
    const std::optional<std::string> path = zerlin::findBoardPath(hardwareId);
    if (!path) return reportFailure(step, "the board is gone (unplugged?)");
    const zerlin::LayoutRead read = zerlin::readBoardLayout(*path);
    if (read.error != platform::kOk) return reportBoardFailure(step, hardwareId, osErrorText(read.error));
    if (read.layoutError != zerlin::LayoutError::None) return reportFailure(step, "a layout this tool cannot program");
    layout = read.layout;
    reportOk(step, "regions: " + std::to_string(layout.regions.size()) +
                       ", bytes per packet: " + std::to_string(layout.bytesPerPacket) +
                       ", bytes per address: " + std::to_string(layout.bytesPerAddress));
    return true;
}

bool run(const Options& options)
{
    // The file first: a bad one is found without a board, and before anything on a board changes.
    std::string hexText;
    const std::string load = "load " + options.firmwarePath;
    if (!readFile(options.firmwarePath, hexText)) return reportFailure(load, "cannot read the file");
    if (const zerlin::HexLoadResult check = zerlin::checkHexText(hexText); check.status != zerlin::HexLoadStatus::Ok)
        return reportFailure(load, zerlin::describeRejection(check));
    // The vendor's signature beside the file, checked as the update utility checks its files.
    const SignatureCheck signature = checkFileSignature(options.firmwarePath, platform::ownProgramFolder() + "Keys/");
    if (signature.verdict == SignatureCheck::Verdict::Refused) return reportFailure("check signature", signature.problem);
    reportOk("check signature", describeSignature(signature));

    const std::string search = "search " + options.hardwareId;
    if (!options.applicationId.empty()) {
        if (!switchToBootloader(options)) return false;
    } else if (!findBoard(options.hardwareId)) {
        return reportFailure(search, "no such device");
    }
    reportOk(search);
    const std::string& id = options.hardwareId;
    if (M47J53_QueryDevice() == 0)
        return reportBoardFailure("query layout", id, "no answer in time, or a layout this tool cannot program");
    zerlin::DeviceLayout layout;
    if (!readLayout(id, layout)) return false;

    const zerlin::FlashPlan plan = zerlin::planFlash(layout, hexText);
    if (plan.programBytes == 0)
        return reportFailure(load, "no data for the board's program memory (" + zerlin::describeProgramRegions(layout) +
                                       "): is the file built for another chip? Nothing was erased");
    if (M47J53_LoadFirmwareFile(options.firmwarePath.c_str()) == 0) return reportFailure(load, "cannot read the file");
    reportOk(load, zerlin::formatBytes(plan.programBytes) + " to program");

    const bool terminal = platform::standardOutputIsTerminal();
    const auto step = [&](const std::string& name, std::uint64_t bytes, auto call, const std::string& otherwise) {
        return zerlin::runWithProgress(name, bytes, terminal, [call] { return call() != 0; }) ||
               reportBoardFailure(name, id, otherwise);
    };
    if (options.separateErase) {
        if (!step("erase", plan.memoryBytes, M47J53_EraseFlashData, "the erase was not answered in time")) return false;
        if (!step("program", plan.programBytes, M47J53_Transfer_FlashData, "a packet could not be written"))
            return false;
    } else if (!step("erase and program", plan.programBytes, M47J53_UpdateFlash,
                     "the erase was not answered in time, or a packet could not be written")) {
        return false;
    }
    if (!step("verify", plan.memoryBytes, M47J53_VerifyFlash,
              "the flash differs from the file, or the board stopped answering"))
        return false;
    if (!options.reset) return true;
    if (const std::int32_t result = M47J53_Reset(); result != 1)
        return reportFailure("reset", osErrorText(static_cast<platform::OsError>(result)));
    reportOk("reset");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // A firmware path may hold letters that the ANSI code page lacks: the arguments come as UTF-8.
    const std::vector<std::string> args = platform::programArguments(argc, argv);
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            return 0;
        }
    }
    Options options;
    if (!parseOptions(args, options)) {
        printUsage(stderr);
        return kExitUsage;
    }
    return run(options) ? 0 : kExitFailed;
}
