// A full workbook of 65535 data rows written cell by cell through the automation calls and saved by
// the stand-in server, next to the same cells written as a plain CSV file in the same run:
// time per row, time to save (for CSV: flush and close), peak memory above the start, file size.
// Then the same workbook through the window's workbook thread: the longest time the posting thread
// is held in one go (a post, or one turn of its event loop) while the save runs.
#include "recorder/workbook/excelctrl.h"
#include "recorder/recorder_logic.h"
#include "recorder/workbook_thread.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

struct Figures {
    double writeMs = 0;
    double saveMs = 0;
    long peakKib = 0;
    std::uintmax_t bytes = 0;
    double heldMs = 0;  // through the workbook thread: the posting thread's longest hold during the save
};

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Each run in a process of its own, so that memory freed by one run cannot be reused by the next
// and hide its peak.
template <typename Run>
Figures inChildProcess(Run run)
{
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        const Figures figures = run();
        const ssize_t written = write(channel[1], &figures, sizeof figures);
        _exit(written == static_cast<ssize_t>(sizeof figures) ? 0 : 1);
    }
    close(channel[1]);
    Figures figures;
    const ssize_t got = child > 0 ? read(channel[0], &figures, sizeof figures) : 0;
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return got == static_cast<ssize_t>(sizeof figures) ? figures : Figures{};
}

// Resident set size and its peak, in KiB, from the kernel's view of this process.
long statusKib(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

// Lets the next peak reading start from the current size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Varied readings like a real log: the clock moves on, temperatures and channels drift.
LogMeasurement measurementOf(std::int32_t row)
{
    LogMeasurement measurement{1500 + row % 300, {}, 20 + row % 40, 25 + row % 30, -5 + row % 20};
    for (std::size_t i = 0; i < measurement.channels.size(); ++i)
        measurement.channels[i] = static_cast<std::int32_t>((row * 7 + static_cast<std::int32_t>(i) * 311) % 4096);
    return measurement;
}

std::string clockOf(std::int32_t row)
{
    return clockText({2026, 3, 7, row / 3600 % 24, row / 60 % 60, row % 60});
}

template <typename WriteCell, typename Save>
Figures run(WriteCell writeCell, Save save, const std::filesystem::path& path)
{
    resetPeak();
    const long before = statusKib("VmRSS:");
    Figures figures;
    auto start = Clock::now();
    for (const LogCell& cell : logHeaderCells("Tessaray TC-200")) writeCell(cell);
    for (std::int32_t row = 0; row < kRowsPerWorkbook; ++row)
        for (const LogCell& cell : logRowCells(row, clockOf(row), measurementOf(row))) writeCell(cell);
    figures.writeMs = millisecondsSince(start);
    start = Clock::now();
    save();
    figures.saveMs = millisecondsSince(start);
    figures.peakKib = statusKib("VmHWM:") - before;
    figures.bytes = std::filesystem::file_size(path);
    return figures;
}

Figures workbookRun(const std::filesystem::path& path)
{
    ExcelOpen();
    const Figures figures = run([](const LogCell& cell) { ExcelSetCell(1, cell.column, cell.row, cell.text); },
                               [&] {
                                   ExcelSaveAs(path.string());
                                   ExcelQuit();
                               },
                               path);
    return figures;
}

// As the window does it: one call per row, posted, then the save, whose outcome comes back as a
// queued call. The rows are in before the save is posted, as they are at a rotation.
Figures threadedRun(const std::filesystem::path& path)
{
    int argc = 1;
    char name[] = "workbook_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QObject receiver;
    WorkbookThread thread(&ExcelRelease, std::chrono::minutes(1));
    std::int32_t rowsIn = -1;  // the header counts as one
    const WorkbookThread::Done countRow = [&rowsIn](std::exception_ptr) { ++rowsIn; };
    thread.post([] { ExcelOpen(); }, &receiver, [](std::exception_ptr) {});
    auto postCells = [&](std::vector<LogCell> cells) {
        thread.post([cells = std::move(cells)] {
            for (const LogCell& cell : cells) ExcelSetCell(1, cell.column, cell.row, cell.text);
        }, &receiver, countRow);
    };
    postCells(logHeaderCells("Tessaray TC-200"));
    for (std::int32_t row = 0; row < kRowsPerWorkbook; ++row) postCells(logRowCells(row, clockOf(row), measurementOf(row)));
    while (rowsIn < kRowsPerWorkbook) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    Figures figures;
    bool saved = false;
    auto held = [&figures](Clock::time_point since) { figures.heldMs = std::max(figures.heldMs, millisecondsSince(since)); };
    const auto start = Clock::now();
    thread.post([target = path.string()] { ExcelSaveAs(target); ExcelQuit(); }, &receiver,
                [&saved](std::exception_ptr) { saved = true; });
    held(start);
    while (!saved) {
        const auto turn = Clock::now();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        held(turn);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the window's loop idles between events
    }
    figures.saveMs = millisecondsSince(start);
    figures.bytes = std::filesystem::file_size(path);
    return figures;
}

// One line per row, the cells at their columns, empty fields between.
Figures csvRun(const std::filesystem::path& path)
{
    std::ofstream file(path, std::ios::trunc);
    std::vector<std::string> line;
    std::int32_t lineRow = 1;
    auto flushLine = [&](std::int32_t upToRow) {
        for (; lineRow < upToRow; ++lineRow) {
            for (std::size_t i = 0; i < line.size(); ++i) file << (i > 0 ? "," : "") << line[i];
            file << '\n';
            line.clear();
        }
    };
    return run(
        [&](const LogCell& cell) {
            flushLine(cell.row);
            if (line.size() < static_cast<std::size_t>(cell.column)) line.resize(static_cast<std::size_t>(cell.column));
            line[static_cast<std::size_t>(cell.column - 1)] = cell.text;
        },
        [&] {
            flushLine(lineRow + 1);
            file.close();
        },
        path);
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    std::vector<Figures> workbook;
    std::vector<Figures> csv;
    std::vector<Figures> threaded;
    for (int i = 0; i < kRuns; ++i) {
        csv.push_back(inChildProcess([&] { return csvRun(folder / "bench_temp.csv"); }));
        workbook.push_back(inChildProcess([&] { return workbookRun(folder / "bench_temp.xls"); }));
        threaded.push_back(inChildProcess([&] { return threadedRun(folder / "bench_temp.xls"); }));
    }
    auto pick = [](const std::vector<Figures>& runs, auto field) {
        std::vector<double> values;
        for (const Figures& figures : runs) values.push_back(static_cast<double>(field(figures)));
        return medianOf(values);
    };
    const double rows = kRowsPerWorkbook;
    std::printf("%d data rows of 17 cells, median of %d runs\n", kRowsPerWorkbook, kRuns);
    std::printf("%-10s %14s %10s %12s %12s\n", "", "per row (us)", "save (ms)", "peak (KiB)", "file (KiB)");
    for (const auto& [name, runs] : {std::pair{"workbook", &workbook}, std::pair{"csv", &csv}}) {
        std::printf("%-10s %14.2f %10.1f %12.0f %12.0f\n", name, pick(*runs, [](const Figures& f) { return f.writeMs; }) * 1000 / rows,
                    pick(*runs, [](const Figures& f) { return f.saveMs; }), pick(*runs, [](const Figures& f) { return f.peakKib; }),
                    pick(*runs, [](const Figures& f) { return f.bytes; }) / 1024);
    }
    auto ratio = [&](auto field) { return pick(workbook, field) / std::max(pick(csv, field), 1e-9); };
    std::printf("workbook / csv: per row x%.1f, save x%.1f, peak memory x%.1f, file size x%.2f\n",
                ratio([](const Figures& f) { return f.writeMs; }), ratio([](const Figures& f) { return f.saveMs; }),
                ratio([](const Figures& f) { return static_cast<double>(f.peakKib); }),
                ratio([](const Figures& f) { return static_cast<double>(f.bytes); }));
    const double total = [&](const std::vector<Figures>& runs) {
        return pick(runs, [](const Figures& f) { return f.writeMs + f.saveMs; });
    }(workbook);
    const double csvTotal = pick(csv, [](const Figures& f) { return f.writeMs + f.saveMs; });
    std::printf("rows and save: workbook %.0f ms, csv %.0f ms, x%.1f\n", total, csvTotal, total / std::max(csvTotal, 1e-9));
    std::printf("through the workbook thread: save %.0f ms, posting thread held at most %.2f ms\n",
                pick(threaded, [](const Figures& f) { return f.saveMs; }),
                pick(threaded, [](const Figures& f) { return f.heldMs; }));
    std::filesystem::remove(folder / "bench_temp.csv");
    // "keep" leaves the full workbook for a look with other readers.
    if (argc < 3 || std::string(argv[2]) != "keep") std::filesystem::remove(folder / "bench_temp.xls");
    return 0;
}
