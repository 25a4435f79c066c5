// Hot-plug events of the virtual bus, the architecture stand-in, and the event-pumping wait.
#include "wait_with_messages.h"
#include "window_fixture.h"

#include "platform/arch.h"
#include "platform/hid_vbus_transport.h"
#include "platform/hid_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
