// The window's pictures over a run: on an unscaled screen no twin of twice the size is read, and
// a screen shown again (a controller plugged and unplugged again) reads none of its files again.
#include "window_fixture.h"

#include "app/window/picture_cache.h"

#include <QFileInfo>

namespace {

using WindowPictures = WindowTest;

TEST_F(WindowPictures, AreReadOnceForTheRunAndTheirTwinsNotAtRatioOne)
{
    QStringList reads;
    PictureCache::shared().setReadHook([&](const QString& path) { reads.append(QFileInfo(path).fileName()); });
    struct Unhook {
        ~Unhook() { PictureCache::shared().setReadHook({}); }
    } unhook;

    startSim({"--controller", "ctl,id=" + kController + ",unplugged"});
    auto form = startForm();
    ASSERT_EQ(form->devicePixelRatio(), 1);
    const auto plugAndUnplug = [&] {
        ASSERT_EQ(sim->control("plug ctl"), "ok");
        ASSERT_TRUE(waitUntil([&] { return caption(*form, "FWLABEL") == "1.0.3"; }));
        EXPECT_EQ(picture(*form, "BKImg"), "devFound.bmp");
        ASSERT_EQ(sim->control("unplug ctl"), "ok");
        ASSERT_TRUE(waitUntil([&] { return caption(*form, "FWLABEL") == "Device Not Found"; }));
        EXPECT_EQ(picture(*form, "BKImg"), "devNotFound.bmp");
    };
    plugAndUnplug();
    form->grab();  // painted at the screen's ratio of 1 for certain
    EXPECT_TRUE(reads.filter(QStringLiteral("@2x")).isEmpty()) << reads.join(' ').toStdString();
    EXPECT_EQ(reads.count(QStringLiteral("devNotFound.bmp")), 1);
    EXPECT_EQ(reads.count(QStringLiteral("devFound.bmp")), 1);

    const QStringList afterFirstChange = reads;
    plugAndUnplug();
    plugAndUnplug();
    EXPECT_EQ(reads, afterFirstChange);
}

}  // namespace
