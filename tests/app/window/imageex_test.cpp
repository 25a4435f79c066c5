// The picture control's own enter and leave events, and its picture loading through the run's cache.
#include "app/window/imageex.h"

#include "app/window/picture_cache.h"
#include "app/window/plain_bitmap.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEnterEvent>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
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

// From a Windows bitmap's header.
int bitsPerPixel(const QString& bmp)
{
    QFile file(bmp);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray header = file.read(30);
    return header.size() == 30 ? static_cast<unsigned char>(header[28]) | static_cast<unsigned char>(header[29]) << 8 : -1;
}

// What the control paints where each layout pixel covers ratio device pixels.
QImage paintedAt(TImageEx& image, int ratio)
{
    QImage painted(image.size() * ratio, QImage::Format_RGB32);
    painted.setDevicePixelRatio(ratio);
    painted.fill(Qt::green);
    image.render(&painted);
    painted.setDevicePixelRatio(1);
    return painted;
}

// On a screen scaled up the twin is painted pixel for pixel, in the place and size of the picture.
TEST(ImageEx, APictureTwiceTheSizeIsPaintedOnScaledScreensAndTheSizeStays)
{
    QTemporaryDir dir;
    QImage plain(20, 10, QImage::Format_RGB32);
    plain.fill(Qt::red);
    // A chequerboard: any scaling on the way would blur it.
    QImage fine(40, 20, QImage::Format_RGB32);
    for (int y = 0; y < fine.height(); ++y)
        for (int x = 0; x < fine.width(); ++x) fine.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 64));
    ASSERT_TRUE(plain.save(dir.filePath("Start.bmp")) && fine.save(dir.filePath("Start@2x.bmp")));
    ASSERT_TRUE(plain.save(dir.filePath("Alone.bmp")));

    TImageEx image(nullptr);
    image.setGeometry(0, 0, 20, 10);
    image.setStretch(true);
    image.loadFromFile(dir.filePath("Start.bmp"));
    EXPECT_EQ(image.pictureFile(), dir.filePath("Start.bmp"));
    EXPECT_EQ(image.size(), QSize(20, 10));
    EXPECT_EQ(image.pictureFor(2).devicePixelRatio(), 2);
    EXPECT_EQ(image.pictureFor(1.5).deviceIndependentSize(), QSizeF(20, 10));
    EXPECT_EQ(image.pictureFor(1).devicePixelRatio(), 1);
    EXPECT_EQ(paintedAt(image, 1), plain);
    EXPECT_EQ(paintedAt(image, 2), fine);

    image.loadFromFile(dir.filePath("Alone.bmp"));  // no twin: the picture, scaled up
    EXPECT_EQ(image.pictureFor(2).devicePixelRatio(), 1);
    EXPECT_EQ(paintedAt(image, 2), plain.scaled(40, 20));
    EXPECT_EQ(image.size(), QSize(20, 10));
}

// Counts the files the run's picture cache reads while it lives.
struct CountedReads {
    CountedReads()
    {
        PictureCache::shared().setReadHook([this](const QString& path) { files.append(QFileInfo(path).fileName()); });
    }
    ~CountedReads() { PictureCache::shared().setReadHook({}); }
    QStringList files;
};

// The twin is read when first painted at a ratio above 1, once, and never at ratio 1; a second
// control showing the same file reads nothing. A file changed on disk is read again.
TEST(ImageEx, TheTwinIsReadOnlyWhenFirstPaintedOnAScaledDeviceAndEachFileOnce)
{
    QTemporaryDir dir;
    QImage plain(20, 10, QImage::Format_RGB32);
    plain.fill(Qt::red);
    QImage fine(40, 20, QImage::Format_RGB32);
    fine.fill(Qt::blue);
    ASSERT_TRUE(plain.save(dir.filePath("Start.bmp")) && fine.save(dir.filePath("Start@2x.bmp")));
    CountedReads reads;

    TImageEx first(nullptr);
    first.setGeometry(0, 0, 20, 10);
    first.setStretch(true);
    first.loadFromFile(dir.filePath("Start.bmp"));
    EXPECT_EQ(paintedAt(first, 1), plain);
    EXPECT_EQ(reads.files, QStringList{"Start.bmp"});
    EXPECT_EQ(paintedAt(first, 2), fine);
    EXPECT_EQ(paintedAt(first, 2), fine);
    EXPECT_EQ(reads.files, (QStringList{"Start.bmp", "Start@2x.bmp"}));

    TImageEx second(nullptr);
    second.setGeometry(0, 0, 20, 10);
    second.setStretch(true);
    second.loadFromFile(dir.filePath("Start.bmp"));
    EXPECT_EQ(paintedAt(second, 2), fine);
    first.loadFromFile(dir.filePath("Start.bmp"));  // the same picture again, as a screen change does
    EXPECT_EQ(paintedAt(first, 2), fine);
    EXPECT_EQ(reads.files.size(), 2);

    QImage changed(24, 12, QImage::Format_RGB32);
    changed.fill(Qt::yellow);
    ASSERT_TRUE(changed.save(dir.filePath("Start.bmp")));
    second.loadFromFile(dir.filePath("Start.bmp"));
    EXPECT_EQ(second.picture().size(), QSize(24, 12));
    EXPECT_EQ(reads.files.size(), 3);
}

TEST(ImageEx, EveryShippedPictureHasATwinOfTwiceItsSize)
{
    const QDir pictures(QStringLiteral(LUMARO_SOURCE_DIR "/data/img"));
    const QStringList files = pictures.entryList({QStringLiteral("*.bmp")}, QDir::Files);
    int pairs = 0;
    for (const QString& file : files) {
        if (file.endsWith(QStringLiteral("@2x.bmp"))) continue;
        SCOPED_TRACE(file.toStdString());
        const QString twin = file.chopped(4) + QStringLiteral("@2x.bmp");
        ASSERT_TRUE(files.contains(twin));
        const QImage picture(pictures.filePath(file));
        const QImage twice(pictures.filePath(twin));
        EXPECT_EQ(twice.size(), picture.size() * 2);
        EXPECT_EQ(bitsPerPixel(pictures.filePath(twin)), bitsPerPixel(pictures.filePath(file)));
        ++pairs;
    }
    EXPECT_EQ(pairs * 2, files.size());
    EXPECT_GT(pairs, 0);
}

// What the window reads of a picture is what Qt's image reader reads of it: the same pixels, format,
// resolution and device pixel ratio. Of a file cut short Qt's reader leaves the missing rows as
// they were allocated: their pixels are not compared.
void expectReadAsQtReadsIt(const QString& path, bool cutShort = false)
{
    SCOPED_TRACE(path.toStdString());
    const QImage byQt = QImageReader(path).read();
    const QImage read = readPicture(path);
    ASSERT_EQ(read.isNull(), byQt.isNull());
    EXPECT_EQ(read.format(), byQt.format());
    EXPECT_EQ(read.size(), byQt.size());
    if (!cutShort) {
        EXPECT_TRUE(read == byQt);
    }
    EXPECT_EQ(read.dotsPerMeterX(), byQt.dotsPerMeterX());
    EXPECT_EQ(read.dotsPerMeterY(), byQt.dotsPerMeterY());
    EXPECT_EQ(read.devicePixelRatio(), byQt.devicePixelRatio());
}

TEST(ImageEx, EveryShippedPictureIsReadAsQtReadsIt)
{
    const QDir pictures(QStringLiteral(LUMARO_SOURCE_DIR "/data/img"));
    const QStringList files = pictures.entryList({QStringLiteral("*.bmp")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) expectReadAsQtReadsIt(pictures.filePath(file));
}

TEST(ImageEx, OtherBitmapsAreReadAsQtReadsThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Odd widths give rows with padding; Qt writes RGB32 as 24 bits a pixel, bottom-up.
    QImage colours(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < colours.height(); ++y)
        for (int x = 0; x < colours.width(); ++x) colours.setPixel(x, y, QRandomGenerator::global()->generate() | 0xff000000u);
    ASSERT_TRUE(colours.save(dir.filePath("odd.bmp")));
    expectReadAsQtReadsIt(dir.filePath("odd.bmp"));
    ASSERT_TRUE(colours.save(dir.filePath("odd@2x.bmp")));
    expectReadAsQtReadsIt(dir.filePath("odd@2x.bmp"));
    ASSERT_TRUE(colours.save(dir.filePath("odd@3x.bmp")));
    expectReadAsQtReadsIt(dir.filePath("odd@3x.bmp"));

    // Top-down: a negative height.
    QFile bottomUp(dir.filePath("odd.bmp"));
    ASSERT_TRUE(bottomUp.open(QIODevice::ReadOnly));
    QByteArray bytes = bottomUp.readAll();
    const qint32 height = -colours.height();
    std::memcpy(bytes.data() + 22, &height, sizeof height);
    QFile topDown(dir.filePath("topdown.bmp"));
    ASSERT_TRUE(topDown.open(QIODevice::WriteOnly));
    topDown.write(bytes);
    topDown.close();
    expectReadAsQtReadsIt(dir.filePath("topdown.bmp"));

    // Rows cut short, and bitmaps of another kind, are left to Qt's reader.
    QFile cut(dir.filePath("cut.bmp"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 10));
    cut.close();
    expectReadAsQtReadsIt(dir.filePath("cut.bmp"), true);
    ASSERT_TRUE(colours.convertToFormat(QImage::Format_Indexed8).save(dir.filePath("indexed.bmp")));
    expectReadAsQtReadsIt(dir.filePath("indexed.bmp"));
    ASSERT_TRUE(colours.save(dir.filePath("picture.png")));
    expectReadAsQtReadsIt(dir.filePath("picture.png"));
    QFile broken(dir.filePath("broken.bmp"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(bytes.left(30));
    broken.close();
    expectReadAsQtReadsIt(dir.filePath("broken.bmp"));
}

// The direct decoder reads only within the bytes it is given: a header that points its pixels into
// itself, or rows that end short of the last byte, are refused rather than read past.
TEST(ImageEx, DirectDecoderReadsNothingPastItsBytes)
{
    QImage colours(5, 3, QImage::Format_RGB32);
    colours.fill(qRgb(10, 20, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(colours.save(&buffer, "BMP"));
    const auto decode = [](const QByteArray& file) {
        return decodePlainBitmap(reinterpret_cast<const uchar*>(file.constData()), file.size());
    };
    ASSERT_TRUE(decode(bytes) == colours);

    EXPECT_TRUE(decode(bytes.left(bytes.size() - 1)).isNull());
    EXPECT_TRUE(decode(bytes.left(54)).isNull());
    QByteArray intoHeader = bytes;
    const qint32 offset = 20;
    std::memcpy(intoHeader.data() + 10, &offset, sizeof offset);
    EXPECT_TRUE(decode(intoHeader).isNull());
    QByteArray huge = bytes;
    const qint32 width = 0x7fffffff;
    std::memcpy(huge.data() + 18, &width, sizeof width);
    EXPECT_TRUE(decode(huge).isNull());
    EXPECT_TRUE(decodePlainBitmap(nullptr, 0).isNull());
}

}  // namespace
