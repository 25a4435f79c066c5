// Hot-plug events of the virtual bus (which and how many, and that they come from the event loop),
// the architecture stand-in, and the event-pumping wait.
#include "app/window/wait_with_messages.h"
#include "window_fixture.h"

#include "platform/machine/arch.h"
#include "platform/hid/hid_vbus_transport.h"
#include "platform/hid/hid_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct EventCounts {
    int arrived = 0;
    int removed = 0;
};

// The file that stands for an interface's endpoint: a socket for a Linux client, a port file for a
// Windows one.
QString endpoint(const QTemporaryDir& bus, const char* name)
{
    return bus.filePath(QStringLiteral("hid/%1%2").arg(name, platform::vbus::endpointExtension()));
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(VbusHidWatch, EndpointsComingAndGoingAreArrivalsAndRemovals)
{
    QTemporaryDir bus;
    qputenv("LUMARO_VBUS_DIR", QDir::toNativeSeparators(bus.path()).toLocal8Bit());
    platform::HidWatcher watcher;
    EventCounts counts;
    QObject::connect(&watcher, &platform::HidWatcher::interfaceArrived, [&] { ++counts.arrived; });
    QObject::connect(&watcher, &platform::HidWatcher::interfaceRemoved, [&] { ++counts.removed; });
    ASSERT_TRUE(watcher.isWatching());

    // The bus had no hid/ folder yet when the watch began.
    ASSERT_TRUE(QDir(bus.path()).mkdir("hid"));
    touch(bus.filePath("hid/ctl.id"));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(counts.arrived, 0);  // an identity file alone is no interface yet
    touch(endpoint(bus, "ctl"));
    EXPECT_TRUE(waitUntil([&] { return counts.arrived == 1; }));
    QFile::remove(endpoint(bus, "ctl"));
    EXPECT_TRUE(waitUntil([&] { return counts.removed == 1; }));
    EXPECT_EQ(counts.arrived, 1);
    qunsetenv("LUMARO_VBUS_DIR");
}

// The window may not look at the folder between an unplug and a replug (it was busy, or stopped):
// the interface is then another one under the same name, and its old handle is dead.
TEST(VbusHidWatch, AnUnplugAndReplugBetweenTwoLooksIsARemovalAndAnArrival)
{
    QTemporaryDir bus;
    ASSERT_TRUE(QDir(bus.path()).mkdir("hid"));
    qputenv("LUMARO_VBUS_DIR", QDir::toNativeSeparators(bus.path()).toLocal8Bit());
    platform::HidWatcher watcher;
    EventCounts counts;
    QObject::connect(&watcher, &platform::HidWatcher::interfaceArrived, [&] { ++counts.arrived; });
    QObject::connect(&watcher, &platform::HidWatcher::interfaceRemoved, [&] { ++counts.removed; });
    touch(endpoint(bus, "ctl"));
    ASSERT_TRUE(waitUntil([&] { return counts.arrived == 1; }));

    // Moved away rather than deleted, the old endpoint keeps its file, as a listening socket does.
    ASSERT_TRUE(QFile::rename(endpoint(bus, "ctl"), bus.filePath("unplugged")));
    touch(endpoint(bus, "ctl"));
    EXPECT_TRUE(waitUntil([&] { return counts.removed == 1 && counts.arrived == 2; }));

    // Nothing changed since: no event.
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(counts.removed, 1);
    EXPECT_EQ(counts.arrived, 2);
    qunsetenv("LUMARO_VBUS_DIR");
}

// What an event leads to, detection, waits for threads and lets events run: it must not run inside
// the handler that took the event from its source (for the bus, the folder watcher's signal; on
// Windows, the native filter of the system's message). The event comes once that handler returned.
TEST(VbusHidWatch, AnEventComesFromTheEventLoopOnceTheSourcesHandlerHasReturned)
{
    QTemporaryDir bus;
    ASSERT_TRUE(QDir(bus.path()).mkdir("hid"));
    qputenv("LUMARO_VBUS_DIR", QDir::toNativeSeparators(bus.path()).toLocal8Bit());
    platform::HidWatcher watcher;
    auto* folderWatch = watcher.findChild<QFileSystemWatcher*>();
    ASSERT_NE(folderWatch, nullptr);
    bool insideHandler = false;
    int arrived = 0;
    int arrivedInsideHandler = 0;
    QObject::connect(&watcher, &platform::HidWatcher::interfaceArrived, [&] {
        ++arrived;
        if (insideHandler) ++arrivedInsideHandler;
    });

    // The folder's change is handed to the source's handler at once, before the event loop sees it.
    touch(endpoint(bus, "ctl"));
    insideHandler = true;
    ASSERT_TRUE(QMetaObject::invokeMethod(folderWatch, "directoryChanged", Qt::DirectConnection,
                                          Q_ARG(QString, bus.filePath("hid"))));
    insideHandler = false;
    EXPECT_TRUE(waitUntil([&] { return arrived == 1; }));
    EXPECT_EQ(arrivedInsideHandler, 0);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(arrived, 1);  // the folder's own notification that follows finds nothing new
    qunsetenv("LUMARO_VBUS_DIR");
}

TEST(Architecture, BusStandInDecides)
{
    qputenv("LUMARO_VBUS_DIR", "/nonexistent");
    qputenv("LUMARO_VBUS_ARCH", "x86");
    EXPECT_EQ(platform::processorArchitecture(), "x86");
    qunsetenv("LUMARO_VBUS_ARCH");
    EXPECT_EQ(platform::processorArchitecture(), "");
    qunsetenv("LUMARO_VBUS_DIR");
    EXPECT_EQ(platform::processorArchitecture(), sizeof(void*) == 8 ? "AMD64" : "x86");
}

TEST(WaitWithMessages, LastsAtLeastTheTimeAndKeepsEventsFlowing)
{
    QElapsedTimer clock;
    clock.start();
    WaitWithMessages(0);
    EXPECT_LT(clock.elapsed(), 50);

    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    clock.restart();
    WaitWithMessages(40);
    EXPECT_GE(clock.elapsed(), 40);
    EXPECT_TRUE(fired);
}

}  // namespace
