// Time from a simulated plug to the ready screen, next to the time from the same plug to the bus
// event itself (a second watcher of the same bus, in the same process).
//
//   plug_to_ready_bench [plugs]       prints the medians and their ratio
#include "bench/bench_stats.h"
#include "app/window/main_form.h"
#include "app/window/message_boxes.h"
#include "sim_process.h"

#include "platform/hid/hid_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

bool pumpUntil(const std::function<bool()>& condition)
{
    QElapsedTimer limit;
    limit.start();
    while (!condition()) {
        if (limit.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    LumaroApplication application(argc, argv);
    const int plugs = argc > 1 ? std::atoi(argv[1]) : 30;

    lumaro::test::SimProcess sim({"--controller", "ctl,id=HID\\VID_1FC9&PID_0003&REV_0100,unplugged"});
    sim.useBus();
    // Made before the window's own watcher, so that it hears of each plug first.
    platform::HidWatcher busEvents;
    QElapsedTimer clock;
    double eventAt = -1;
    QObject::connect(&busEvents, &platform::HidWatcher::interfaceArrived,
                     [&] { eventAt = static_cast<double>(clock.nsecsElapsed()) / 1e6; });

    QDir::setCurrent(QStringLiteral(LUMARO_DIST_DIR));
    TMainForm form(QStringLiteral(LUMARO_DIST_DIR "/"));
    form.show();
    // Start-up's last steps, after the first paint, are no part of a plug.
    if (!pumpUntil([&] { return !form.startupPending(); })) return 1;
    const QLabel* version = form.findChild<QLabel*>(QStringLiteral("FWLABEL"));


    std::vector<double> toEvent;
    std::vector<double> toReady;
    for (int i = 0; i < plugs; ++i) {
        eventAt = -1;
        clock.start();
        sim.control("plug ctl");
        if (!pumpUntil([&] { return version->text() != QStringLiteral("Device Not Found"); })) return 1;
        const double readyAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (!pumpUntil([&] { return eventAt >= 0; })) return 1;
        toEvent.push_back(eventAt);
        toReady.push_back(readyAt);
        sim.control("unplug ctl");
        if (!pumpUntil([&] { return version->text() == QStringLiteral("Device Not Found"); })) return 1;
    }
    const double eventMs = median(toEvent);
    const double readyMs = median(toReady);
    std::printf("plug to screen, median of %d plugs (virtual bus, offscreen):\n", plugs);
    std::printf("  plug to bus event    %8.2f ms\n", eventMs);
    std::printf("  plug to ready screen %8.2f ms   (%.2fx the bus event)\n", readyMs, readyMs / eventMs);
    return 0;
}
