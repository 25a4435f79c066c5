// The picture control's own enter and leave events, and its picture loading.
#include "imageex.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Counts what the base widget's own handling would see.
class CountingImage : public TImageEx {
public:
    using TImageEx::TImageEx;
    int baseEnters = 0;
    int baseLeaves = 0;

protected:
    void enterEvent(QEnterEvent*) override { ++baseEnters; }
    void leaveEvent(QEvent*) override { ++baseLeaves; }
};

void sendEnterAndLeave(QWidget* widget)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(widget, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &leave);
}

TEST(ImageEx, EnterAndLeaveRaiseOnlyItsOwnEventsWithItselfAsSender)
{
    CountingImage image(nullptr);
    sendEnterAndLeave(&image);  // nothing bound: nothing happens
    QObject* enteredBy = nullptr;
    QObject* leftBy = nullptr;
    image.setOnMouseEnter([&](QObject* sender) { enteredBy = sender; });
    image.setOnMouseLeave([&](QObject* sender) { leftBy = sender; });
    sendEnterAndLeave(&image);
    EXPECT_EQ(enteredBy, &image);
    EXPECT_EQ(leftBy, &image);
    EXPECT_EQ(image.baseEnters, 0);
    EXPECT_EQ(image.baseLeaves, 0);
}

TEST(ImageEx, LoadingAMissingOrBrokenFileNamesIt)
{
    QTemporaryDir dir;
    TImageEx image(nullptr);
    const QString missing = dir.filePath("none.bmp");
    try {
        image.loadFromFile(missing);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_TRUE(QString::fromLocal8Bit(error.what()).contains(missing));
    }
    QFile broken(dir.filePath("broken.bmp"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("BM not really");
    broken.close();
    EXPECT_THROW(image.loadFromFile(broken.fileName()), std::runtime_error);
    EXPECT_TRUE(image.pictureFile().isEmpty());
    image.loadFromFile(QStringLiteral(LUMARO_SOURCE_DIR "/data/img/com.bmp"));
    EXPECT_FALSE(image.picture().isNull());
}

}  // namespace
