// Figures for lumaro-update, against the simulator on the virtual bus:
//  - the update of the same files on the full-speed bus, from the window's button and from the
//    command line, in the same run: the window from its click to its done screen, the command line
//    from its unit's start to its result (the "seconds" of its JSON line); medians and their ratio;
//  - with --wait, from a controller plugged in to its first erase request, both on the simulator's
//    own clock (its record): here the controller leaves the bus as that request arrives, so that
//    the next plug follows at once.
//
//   cli_update_bench [updates] [plugs]     defaults 4 and 20
#include "bench/bench_stats.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "sim_process.h"

#include "link/job_busy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

const QString kProgram = QStringLiteral(LUMARO_DIST_DIR "/lumaro-update");

bool pumpUntil(const std::function<bool()>& condition, int limitMs)
{
    QElapsedTimer limit;
    limit.start();
    while (!condition()) {
        if (limit.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "cli_update_bench: %s\n", what);
    std::exit(1);
}

// The next JSON line of the program with the given event; fails after limitMs.
QJsonObject nextEvent(QProcess& process, const QString& event, int limitMs)
{
    QElapsedTimer limit;
    limit.start();
    for (;;) {
        while (!process.canReadLine()) {
            if (limit.elapsed() > limitMs || (!process.waitForReadyRead(100) && process.state() != QProcess::Running))
                fail(("no \"" + event.toStdString() + "\" line from lumaro-update").c_str());
        }
        const QJsonObject object = QJsonDocument::fromJson(process.readLine()).object();
        if (object.value("event").toString() == event) return object;
    }
}

double windowUpdateSeconds(TMainForm& form)
{
    const QLabel* caption = form.findChild<QLabel*>(QStringLiteral("UpBtnLabel"));
    // The done screen's button would end the program: the window is brought back to its ready screen.
    if (!pumpUntil([&] { return form.DetectController() && caption->text() == QStringLiteral("Update"); }, 10000))
        fail("the window is not ready");
    QElapsedTimer clock;
    clock.start();
    form.UpBtnLabelClick();
    if (!pumpUntil([&] { return caption->text() == QStringLiteral("OK"); }, 120000)) fail("the window's update did not end done");
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // Its closing wait ends before the next update can start.
    if (!pumpUntil([] { return !jobBusy; }, 10000)) fail("the window's job did not end");
    return seconds;
}

double commandLineUpdateSeconds(const QString& firmware, const QString& image)
{
    QProcess process;
    process.start(kProgram, {"--json", "--firmware", firmware, "--image", image});
    const QJsonObject result = nextEvent(process, "result", 120000);
    process.waitForFinished(10000);
    if (result.value("result").toString() != "done") fail("the command line's update did not end done");
    return result.value("seconds").toDouble();
}

void compareUpdates(int updates)
{
    lumaro::test::SimProcess sim({"--controller", "ctl,timing=full-speed,erase-ms=1,disk-ms=20"});
    sim.useBus();
    const std::filesystem::path appFolder = std::filesystem::path(sim.busDir()).parent_path() / "app";
    std::filesystem::create_directories(appFolder / "Firmware");
    std::filesystem::copy(LUMARO_DIST_DIR "/img", appFolder / "img");
    const std::string firmware = (appFolder / "Firmware" / "Bench_FW_1.0.9.bin").string();
    const std::string image = (appFolder / "Firmware" / "Bench_IMG_1.0.9.bin").string();
    std::ofstream(firmware, std::ios::binary) << std::string(256 * 1024, '\x33');
    std::ofstream(image, std::ios::binary) << std::string(256 * 1024, '\x5A');

    QDir::setCurrent(QStringLiteral(LUMARO_DIST_DIR));  // DevInfo.DAT and Page.DAT, as the window reads them
    TMainForm form(QString::fromStdString(appFolder.string()) + '/');
    form.show();
    std::vector<double> window;
    std::vector<double> commandLine;
    // In turns, each first every other time: the simulator's record grows with every update.
    for (int i = 0; i < updates; ++i) {
        if (i % 2 == 0) window.push_back(windowUpdateSeconds(form));
        commandLine.push_back(commandLineUpdateSeconds(QString::fromStdString(firmware), QString::fromStdString(image)));
        if (i % 2 == 1) window.push_back(windowUpdateSeconds(form));
    }
    const double windowS = median(window);
    const double commandLineS = median(commandLine);
    std::printf("update of a 256 KiB image data file (4855 records), full-speed bus, median of %d each:\n", updates);
    std::printf("  window, click to done screen        %8.3f s\n", windowS);
    std::printf("  command line, unit start to result  %8.3f s   (%+.2f%% against the window)\n", commandLineS,
                100.0 * (commandLineS - windowS) / windowS);
}

void plugToErase(int plugs)
{
    lumaro::test::SimProcess sim({"--controller", "ctl,erase-ms=1,unplugged"});
    sim.useBus();
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(LUMARO_DIST_DIR));
    process.start(kProgram, {"--json", "--repeat", "--wait"});
    std::vector<double> delays;
    for (int i = 0; i < plugs; ++i) {
        nextEvent(process, "waiting", 10000);
        sim.control("set ctl unplug-after=1");  // the erase request is its first report: it leaves then
        sim.control("plug ctl");
        nextEvent(process, "result", 10000);
    }
    process.kill();
    process.waitForFinished(5000);
    double pluggedAt = -1;
    for (const auto& record : sim.records()) {
        if (record.event == "plugged") {
            pluggedAt = record.tMs;
        } else if (pluggedAt >= 0 && (record.dir == "out" || record.event == "unplugged")) {
            delays.push_back(record.tMs - pluggedAt);
            pluggedAt = -1;
        }
    }
    if (delays.size() != static_cast<std::size_t>(plugs)) fail("a plug without an erase request");
    std::sort(delays.begin(), delays.end());
    std::printf("lumaro-update --wait, controller plugged in to its first erase request, %d plugs:\n", plugs);
    std::printf("  median %6.2f ms, slowest %6.2f ms\n", median(delays), delays.back());
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    LumaroApplication application(argc, argv);
    const int updates = argc > 1 ? std::atoi(argv[1]) : 4;
    const int plugs = argc > 2 ? std::atoi(argv[2]) : 20;
    plugToErase(plugs);
    compareUpdates(updates);
    return 0;
}
