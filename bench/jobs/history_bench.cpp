// Figures for the update history:
//  - what recording one update job costs apart from hashing its files (the marker at the start,
//    six step changes, the marker handed to the disk at the bootloader switch, the row appended
//    and handed to the disk), in ms, and as a ratio to one 1 KB file written and handed to the
//    disk in the same folder, the cheapest write that survives a power cut;
//  - the SHA-256 rate over a 64 MiB file, in MB/s, and as a ratio to reading the same file
//    without hashing it.
// Run by hand: dist/history_bench [folder] (default: the system's temporary folder).
#include "jobs/file_sha256.h"
#include "jobs/job_record.h"
#include "platform/files/file_sync.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kJobs = 50;
constexpr std::size_t kHashBytes = 64u << 20;

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double recordedJobMs(UpdateHistory& history) {
    HistoryEntry known;
    known.job = "update", known.modelName = "Tessaray TS-2", known.vidPid = "VID_1FC9&PID_0003";
    known.chipType = "LPC1764", known.programVersion = "1.0", known.computerName = "BENCH";
    const auto start = Clock::now();
    JobRecord record(&history, known, {});
    record.begin();
    for (const JobStep step : {JobStep::Erase, JobStep::ImageData, JobStep::BootloaderSwitch, JobStep::WaitingForDisk,
                               JobStep::Copy, JobStep::StopDisk})
        record.enterStep(step);
    record.end("done");
    return msSince(start);
}

double syncedWriteMs(const fs::path& file) {
    const auto start = Clock::now();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(1024, 'x');
    platform::syncFileToDisk(file.string());
    return msSince(start);
}

double plainReadMs(const fs::path& file) {
    const auto start = Clock::now();
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
    return msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = fs::path(argc > 1 ? argv[1] : fs::temp_directory_path().string()) / "lumaro-history-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    UpdateHistory history(folder.string());

    std::vector<double> recorded, baseline;
    for (int i = 0; i < kJobs; ++i) {
        recorded.push_back(recordedJobMs(history));
        baseline.push_back(syncedWriteMs(folder / "baseline.bin"));
    }
    const double recordMs = median(recorded), writeMs = median(baseline);
    std::printf("history per job (no hashing): %.3f ms; one synced 1 KB write: %.3f ms; ratio %.2f\n", recordMs, writeMs,
                recordMs / writeMs);

    const fs::path big = folder / "image.bin";
    {
        std::ofstream out(big, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 % 251);
        for (std::size_t written = 0; written < kHashBytes; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    plainReadMs(big);  // into the page cache, as a file just chosen is
    std::vector<double> hashing, reading;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        if (!fileSha256(big.string())) return 1;
        hashing.push_back(msSince(start));
        reading.push_back(plainReadMs(big));
    }
    const double hashMs = median(hashing), readMs = median(reading);
    const double megabytes = static_cast<double>(kHashBytes) / 1e6;
    std::printf("SHA-256: %.0f MB/s; plain read: %.0f MB/s; ratio %.2f\n", megabytes / (hashMs / 1000),
                megabytes / (readMs / 1000), hashMs / readMs);
    fs::remove_all(folder);
    return 0;
}
