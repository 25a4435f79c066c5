// Figures for the bootloader library:
//  - HEX loading of a full 128 KiB program image, in MB/s of HEX text;
//  - programming and read-back of a 128 KiB region against the simulator's full-speed timing
//    model (one report each way per 1 ms frame), as fractions of that limit;
//  - the pipelined read-back against a one-request-at-a-time reader written here on the
//    platform API.
#include "bootloader/hex_loader.h"
#include "bootloader/read_back.h"
#include "bootloader/zerlin.h"
#include "platform/hid/hid.h"
#include "sim_process.h"

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kRegionBytes = 128 * 1024;
constexpr std::uint8_t kBytesPerPacket = 56;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::uint8_t> firmwareImage()
{
    std::mt19937 random(47);
    std::vector<std::uint8_t> image(kRegionBytes);
    for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>(random() % 255);  // never 0xFF: no gaps
    return image;
}

// The HEX file a PIC toolchain writes: 16 data bytes per record, a linear address record per 64 KiB.
std::string hexText(const std::vector<std::uint8_t>& image)
{
    std::string text;
    char field[16];
    auto record = [&](std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t count) {
        std::uint8_t sum = static_cast<std::uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
        std::snprintf(field, sizeof field, ":%02zX%04X%02X", count, address, type);
        text += field;
        for (std::size_t i = 0; i < count; ++i) {
            std::snprintf(field, sizeof field, "%02X", data[i]);
            text += field;
            sum = static_cast<std::uint8_t>(sum + data[i]);
        }
        std::snprintf(field, sizeof field, "%02X\r\n", static_cast<std::uint8_t>(-sum));
        text += field;
    };
    for (std::size_t offset = 0; offset < image.size(); offset += 16) {
        if (offset % 0x10000 == 0) {
            const std::uint8_t upper[2] = {0, static_cast<std::uint8_t>(offset >> 16)};
            record(0x04, 0, upper, 2);
        }
        record(0x00, static_cast<std::uint16_t>(offset), &image[offset], 16);
    }
    record(0x01, 0, nullptr, 0);
    return text;
}

void benchHexLoading(const std::string& text)
{
    const zerlin::MemoryRegion region{1, 0, kRegionBytes};
    std::vector<std::vector<std::uint8_t>> images{zerlin::blankImage(region, 1)};
    const zerlin::ImageSet target{std::span(&region, 1), images, 1};
    std::vector<double> runs;
    for (int i = 0; i < 30; ++i) {
        const Clock::time_point start = Clock::now();
        if (zerlin::loadHexText(text, target).status != zerlin::HexLoadStatus::Ok) std::abort();
        runs.push_back(millisecondsSince(start));
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs[runs.size() / 2];
    std::printf("HEX loading, 128 KiB image (%zu bytes of HEX text): median %.2f ms = %.1f MB/s of HEX text, "
                "%.1f MB/s of image\n",
                text.size(), median, static_cast<double>(text.size()) / median / 1000.0, kRegionBytes / median / 1000.0);
}

// One GetData request, then wait for its reply, then the next: the baseline the pipelined
// read-back is measured against.
double sequentialReadBackMs(const std::string& path, const std::vector<std::uint8_t>& image)
{
    platform::OsError error = platform::kOk;
    platform::HidHandle writer = platform::HidHandle::open(path, platform::HidAccess::Write, error);
    platform::HidHandle reader = platform::HidHandle::open(path, platform::HidAccess::Read, error);
    if (error != platform::kOk) std::abort();
    const zerlin::MemoryRegion region{1, 0, kRegionBytes};
    const Clock::time_point start = Clock::now();
    for (std::uint64_t address = 0; address < kRegionBytes; address += kBytesPerPacket) {
        const std::uint8_t size = zerlin::readBackRequestSize(address, kRegionBytes, kBytesPerPacket, 1);
        const platform::Report request = zerlin::readBackRequest(static_cast<std::uint32_t>(address), size);
        platform::Report reply{};
        if (writer.write(request, 1000) != platform::kOk || reader.read(reply, 1000) != platform::kOk ||
            zerlin::checkReadBackReply(reply, request, region, image, 1) != zerlin::ReplyCheck::Match) {
            std::fprintf(stderr, "sequential read-back failed at 0x%llx\n", static_cast<unsigned long long>(address));
            std::abort();
        }
    }
    return millisecondsSince(start);
}

// Device-side span of the reports of one command: from the first to the last one received.
double deviceSpanMs(const lumaro::test::SimProcess& sim, std::size_t skip, std::size_t& count)
{
    std::vector<double> times;
    for (const lumaro::test::SimRecord& record : sim.records())
        if (record.dir == "out") times.push_back(record.tMs);
    count = times.size() - skip;
    return times.back() - times[skip];
}

void benchBoard(const std::string& hexText, const std::vector<std::uint8_t>& image)
{
    lumaro::test::SimProcess sim({"--board", "board,timing=full-speed,erase-ms=50,regions=1:0:0x20000"});
    sim.useBus();
    const std::string hexPath = sim.busDir() + "/firmware.hex";
    std::ofstream(hexPath, std::ios::binary) << hexText;
    if (M47J53_SetUSBHandle("VID_04D8&PID_003C") != 1 || M47J53_QueryDevice() != 1 ||
        M47J53_LoadFirmwareFile(hexPath.c_str()) != 1 || M47J53_EraseFlashData() != 1) {
        std::fprintf(stderr, "cannot prepare the simulated board\n");
        std::abort();
    }
    std::size_t outBefore = 0;
    for (const lumaro::test::SimRecord& record : sim.records()) outBefore += record.dir == "out";

    const std::size_t packets = (kRegionBytes + kBytesPerPacket - 1) / kBytesPerPacket;
    Clock::time_point start = Clock::now();
    if (M47J53_Transfer_FlashData() != 1) std::abort();
    const double hostProgramMs = millisecondsSince(start);
    // The host's writes end when the socket took the last report; the board takes one per frame.
    std::size_t received = 0;
    double spanMs = 0;
    while ((spanMs = deviceSpanMs(sim, outBefore, received), received < packets + 1))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::printf("programming, 128 KiB: %zu reports; host call %.0f ms; board received them over %.0f ms "
                "= %.1f%% of the frame limit (1 report/ms)\n",
                received, hostProgramMs, spanMs + 1, 100.0 * static_cast<double>(received) / (spanMs + 1));

    start = Clock::now();
    if (M47J53_VerifyFlash() != 1) std::abort();
    const double pipelinedMs = millisecondsSince(start);
    std::printf("verification (pipelined), 128 KiB: %zu requests in %.0f ms = %.1f%% of the frame limit\n", packets,
                pipelinedMs, 100.0 * static_cast<double>(packets) / pipelinedMs);

    std::string path;
    for (const platform::HidInterfaceInfo& info : platform::listHidInterfaces())
        if (info.hardwareId.find("VID_04D8&PID_003C") != std::string::npos) path = info.path;
    const double sequentialMs = sequentialReadBackMs(path, image);
    std::printf("read-back one request at a time, 128 KiB: %.0f ms = %.1f%% of the frame limit\n", sequentialMs,
                100.0 * static_cast<double>(packets) / sequentialMs);
    std::printf("pipelined / one at a time: %.2fx faster\n", sequentialMs / pipelinedMs);
}

}  // namespace

int main()
{
    const std::vector<std::uint8_t> image = firmwareImage();
    const std::string text = hexText(image);
    benchHexLoading(text);
    benchBoard(text, image);
    return 0;
}
