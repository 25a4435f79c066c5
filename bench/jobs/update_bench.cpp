// Figures for the update job:
//  - one acknowledged record exchange over the virtual bus (the simulated controller with no
//    timing model), as a ratio to a bare 65-byte request and reply over a socket of the same kind
//    answered by a thread of this process;
//  - a whole update of a 1 MiB image data file against the simulator's full-speed timing model
//    (one report each way per 1 ms frame), the fixed waits left out, as a fraction of that
//    model's limit of one record exchange per frame.
#include "jobs/update_job.h"
#include "link/link_requests.h"
#include "sim_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExchanges = 3000;
const std::string kControllerId = "VID_1FC9&PID_0003";

double microsecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

class QuietScreen final : public UpdateScreen {
public:
    void setProgress(int) override {}
    void log(const std::string& line) override { lines.push_back(line); }
    void showFailed() override { failed = true; }
    void showDone() override { done = true; }
    void setStartUpdateCaption(const std::string&) override {}
    void enableJobButtons() override {}
    void stopRunTimer() override {}
    std::vector<std::string> lines;
    bool failed = false;
    bool done = false;
};

void openController() {
    if (!Find_HidDevice(kControllerId) || !Open_HidDevice()) {
        std::fprintf(stderr, "the simulated controller cannot be opened\n");
        std::abort();
    }
}

// Median microseconds of a bare 65-byte request and 65-byte reply over a SOCK_SEQPACKET pair.
double bareRoundTripUs() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) != 0) std::abort();
    std::thread echo([fd = ends[1]] {
        platform::Report report{};
        while (::recv(fd, report.data(), report.size(), 0) == static_cast<ssize_t>(report.size()))
            if (::send(fd, report.data(), report.size(), 0) != static_cast<ssize_t>(report.size())) break;
    });
    std::vector<double> runs;
    platform::Report report{};
    for (int i = 0; i < kExchanges; ++i) {
        const Clock::time_point start = Clock::now();
        if (::send(ends[0], report.data(), report.size(), 0) != static_cast<ssize_t>(report.size()) ||
            ::recv(ends[0], report.data(), report.size(), 0) != static_cast<ssize_t>(report.size()))
            std::abort();
        runs.push_back(microsecondsSince(start));
    }
    ::shutdown(ends[0], SHUT_RDWR);
    echo.join();
    ::close(ends[0]);
    ::close(ends[1]);
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

// Median microseconds of one Transfer_Flash_ImgData against the simulated controller.
double recordExchangeUs() {
    lumaro::test::SimProcess sim({"--controller", "ctl,timing=none,erase-ms=1"});
    sim.useBus();
    openController();
    jobBusy = true;
    LinkRequests link(controllerLink(), {}, {});
    ControllerRequests& requests = link.requests();
    if (requests.Erase_Flash_ImgData() != AckResult::Acknowledged ||
        requests.Send_FlashImgData_Start(false, kExchanges) != AckResult::Acknowledged)
        std::abort();
    std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    std::vector<double> runs;
    for (int i = 0; i < kExchanges; ++i) {
        record.fill(static_cast<std::uint8_t>(i));
        const Clock::time_point start = Clock::now();
        if (requests.Transfer_Flash_ImgData(i, record) != AckResult::Acknowledged) std::abort();
        runs.push_back(microsecondsSince(start));
    }
    jobBusy = false;
    Close_HidDevice();
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

void benchWholeUpdate() {
    lumaro::test::SimProcess sim({"--controller", "ctl,timing=full-speed,erase-ms=1,disk-ms=20"});
    sim.useBus();
    openController();
    const std::string imagePath = sim.busDir() + "/../image.bin";
    const std::string firmwarePath = sim.busDir() + "/../firmware.bin";
    std::ofstream(imagePath, std::ios::binary) << std::string(1 << 20, '\x5A');
    std::ofstream(firmwarePath, std::ios::binary) << std::string(256 * 1024, '\x33');
    const std::int32_t records = (1 << 20) / static_cast<std::int32_t>(IMAGE_RECORD_SIZE) + 1;

    QuietScreen screen;
    LinkRequests link(controllerLink(), [&](const std::string& line) { screen.log(line); }, {});
    double waitedUs = 0;
    // The fixed waits are left out of the figure; the bootloader wait still gives the disk its time.
    auto wait = [&](int ms) {
        const Clock::time_point start = Clock::now();
        if (ms == kBootloaderWaitMs) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        waitedUs += microsecondsSince(start);
        return true;
    };
    UpdateJob job({"LPC1764", firmwarePath, imagePath, true, {}, "TC-100", "VID_1FC9&PID_0003", {}, {}, {}, {}}, link.requests(),
                  screen, jobBusy, wait);
    const Clock::time_point start = Clock::now();
    job.RunUpdateJob();
    const double totalMs = (microsecondsSince(start) - waitedUs) / 1000.0;
    if (!screen.done) {
        std::fprintf(stderr, "the update did not end done:\n");
        for (const std::string& line : screen.lines) std::fprintf(stderr, "  %s\n", line.c_str());
        std::abort();
    }
    Close_HidDevice();
    std::printf("whole update, 1 MiB image data (%d records): %.0f ms without the fixed waits; the model's limit "
                "is %d ms (one record exchange per 1 ms frame) = %.1f%% of the limit\n",
                records, totalMs, records, 100.0 * records / totalMs);
}

}  // namespace

int main() {
    const double bareUs = bareRoundTripUs();
    const double recordUs = recordExchangeUs();
    std::printf("one acknowledged record exchange over the virtual bus: median %.1f us; bare 65-byte request and "
                "reply over a socket pair: median %.1f us; ratio %.2f\n",
                recordUs, bareUs, recordUs / bareUs);
    benchWholeUpdate();
    return 0;
}
