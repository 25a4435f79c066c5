// zerlin-tool: programs a board through the library's full calling order and says how each step
// went, with the library's last I/O error when one fails.
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"
#include "platform/os_error.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

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

bool parseOptions(int argc, char** argv, Options& options)
{
    std::string* positional[] = {&options.hardwareId, &options.firmwarePath};
    std::size_t positionals = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--switch" || arg == "--wait-ms") && i + 1 >= argc) {
            std::fprintf(stderr, "zerlin-tool: %s needs a value\n", argv[i]);
            return false;
        }
        if (arg == "--switch") {
            options.applicationId = argv[++i];
        } else if (arg == "--wait-ms") {
            char* rest = nullptr;
            const long value = std::strtol(argv[++i], &rest, 10);
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
            std::fprintf(stderr, "zerlin-tool: unknown option %s\n", argv[i]);
            return false;
        } else if (positionals < 2) {
            *positional[positionals++] = arg;
        } else {
            std::fprintf(stderr, "zerlin-tool: unexpected argument %s\n", argv[i]);
            return false;
        }
    }
    if (positionals < 2) {
        std::fprintf(stderr, "zerlin-tool: a hardware ID and a firmware file are needed\n");
        return false;
    }
    return true;
}

// Prints one step's outcome. A failure shows the library's last I/O error, or, when there was
// none, what else makes the step fail.
bool report(const std::string& step, bool ok, const std::string& okDetail = {},
            const std::string& failDetail = "no I/O error reported")
{
    if (ok) {
        std::printf("%-28s ok%s%s\n", step.c_str(), okDetail.empty() ? "" : "  ", okDetail.c_str());
    } else if (const platform::OsError error = zerlin::bootLastIoError; error != platform::kOk) {
        std::printf("%-28s FAILED (error %u: %s)\n", step.c_str(), static_cast<unsigned>(error),
                    platform::describe(error).c_str());
    } else {
        std::printf("%-28s FAILED (%s)\n", step.c_str(), failDetail.c_str());
    }
    std::fflush(stdout);
    return ok;
}

bool findBoard(const std::string& hardwareId) { return M47J53_SetUSBHandle(hardwareId.c_str()) != 0; }

bool switchToBootloader(const Options& options)
{
    if (!report("search " + options.applicationId, findBoard(options.applicationId), "", "no such device"))
        return false;
    if (!report("switch to bootloader", M47J53_Set_BootLoaderMode() != 0)) return false;
    // The board leaves the bus and comes back as its bootloader.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.waitMs);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (findBoard(options.hardwareId)) return true;
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::string layoutText()
{
    return "regions: " + std::to_string(zerlin::regionCount) + ", bytes per packet: " +
           std::to_string(zerlin::bytesPerPacket) + ", bytes per address: " + std::to_string(zerlin::bytesPerAddress);
}

bool run(const Options& options)
{
    const std::string search = "search " + options.hardwareId;
    if (!options.applicationId.empty()) {
        if (!report(search, switchToBootloader(options), "", "did not appear in time")) return false;
    } else if (!report(search, findBoard(options.hardwareId), "", "no such device")) {
        return false;
    }
    const bool queried = M47J53_QueryDevice() != 0;
    if (!report("query layout", queried, layoutText(), "no answer or an unusable layout")) return false;
    if (!report("load " + options.firmwarePath, M47J53_LoadFirmwareFile(options.firmwarePath.c_str()) != 0, "",
                "cannot open the file or a record is bad"))
        return false;
    if (options.separateErase) {
        if (!report("erase", M47J53_EraseFlashData() != 0)) return false;
        if (!report("program", M47J53_Transfer_FlashData() != 0)) return false;
    } else if (!report("erase and program", M47J53_UpdateFlash() != 0)) {
        return false;
    }
    if (!report("verify", M47J53_VerifyFlash() != 0, "", "flash differs from the file")) return false;
    if (!options.reset) return true;
    return report("reset", M47J53_Reset() == 1);
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-h" || std::string_view(argv[i]) == "--help") {
            printUsage(stdout);
            return 0;
        }
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        printUsage(stderr);
        return kExitUsage;
    }
    return run(options) ? 0 : kExitFailed;
}
