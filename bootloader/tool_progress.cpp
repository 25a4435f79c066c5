#include "bootloader/tool_progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>

namespace zerlin {

namespace {

constexpr int kBarWidth = 24;
constexpr int kBlockWidth = 6;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

std::string format(const char* pattern, auto... values)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string rateText(std::uint64_t bytes, double seconds)
{
    // A step quicker than a millisecond is given one, so that the rate stays finite.
    const double rate = static_cast<double>(bytes) / std::max(seconds, 0.001);
    return formatBytes(static_cast<std::uint64_t>(rate)) + "/s";
}

}  // namespace

std::string formatBytes(std::uint64_t bytes)
{
    if (bytes < 1024) return format("%llu B", static_cast<unsigned long long>(bytes));
    if (bytes < 1024 * 1024) return format("%.1f KiB", static_cast<double>(bytes) / 1024);
    return format("%.2f MiB", static_cast<double>(bytes) / (1024 * 1024));
}

std::string barLine(std::string_view step, std::uint64_t bytes, double seconds, bool finished)
{
    std::string bar(kBarWidth, finished ? '#' : ' ');
    if (!finished) {
        // Back and forth, one cell every tenth of a second.
        const int travel = kBarWidth - kBlockWidth;
        const int tick = static_cast<int>(seconds * 10) % (2 * travel);
        const int at = tick <= travel ? tick : 2 * travel - tick;
        std::fill_n(bar.begin() + at, kBlockWidth, '=');
    }
    const std::string head = format("%-28.*s [%s]  %s", static_cast<int>(step.size()), step.data(), bar.c_str(),
                                    formatBytes(bytes).c_str());
    if (!finished) return head + format("  %.1f s", seconds);
    return head + format(" in %.1f s, ", seconds) + rateText(bytes, seconds);
}

std::string plainLine(std::string_view step, std::uint64_t bytes, double seconds)
{
    return format("%-28.*s ok  %s in %.1f s, ", static_cast<int>(step.size()), step.data(), formatBytes(bytes).c_str(),
                  seconds) +
           rateText(bytes, seconds);
}

bool runWithProgress(std::string_view step, std::uint64_t bytes, bool terminal, const std::function<bool()>& call)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto seconds = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::future<bool> result = std::async(std::launch::async, call);
    while (result.wait_for(kRedrawPeriod) != std::future_status::ready) {
        if (!terminal) continue;
        std::printf("\r%s\x1b[K", barLine(step, bytes, seconds(), false).c_str());
        std::fflush(stdout);
    }
    const bool ok = result.get();
    const double took = seconds();
    if (terminal) std::fputs("\r\x1b[K", stdout);
    if (ok) std::printf("%s\n", (terminal ? barLine(step, bytes, took, true) : plainLine(step, bytes, took)).c_str());
    std::fflush(stdout);
    return ok;
}

}  // namespace zerlin
