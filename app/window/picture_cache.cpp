// The run's picture cache: each bitmap file decoded once, again only when the file changes.
#include "app/window/picture_cache.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cstdint>
#include <cstring>

namespace {

std::uint32_t le32(const uchar* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

std::uint16_t le16(const uchar* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

// An uncompressed 24-bit bitmap with the plain 40-byte header, read as Qt's BMP reader reads it:
// RGB32, rows bottom-up unless the height is negative, the header's resolution. Null for any
// other file, and for one whose pixel rows are cut short (Qt's reader has its own ways with those).
QImage readPlainBitmap(const QString& path)
{
    constexpr qint64 kFileHeader = 14;
    constexpr qint64 kInfoHeader = 40;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const qint64 size = file.size();
    if (size < kFileHeader + kInfoHeader) return {};
    const uchar* bytes = file.map(0, size);
    if (bytes == nullptr) return {};
    if (bytes[0] != 'B' || bytes[1] != 'M') return {};
    const qint64 dataOffset = le32(bytes + 10);
    const uchar* info = bytes + kFileHeader;
    const auto width = static_cast<std::int32_t>(le32(info + 4));
    const auto height = static_cast<std::int32_t>(le32(info + 8));
    if (le32(info) != kInfoHeader || le16(info + 12) != 1 || le16(info + 14) != 24 || le32(info + 16) != 0) return {};
    if (width <= 0 || height == 0 || height == INT32_MIN || width > 16384 || height > 16384 || height < -16384) return {};
    const int rows = height < 0 ? -height : height;
    const qint64 stride = (qint64(width) * 24 + 31) / 32 * 4;
    if (dataOffset < kFileHeader + kInfoHeader || dataOffset + stride * rows > size) return {};

    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.setDotsPerMeterX(static_cast<std::int32_t>(le32(info + 24)));
    image.setDotsPerMeterY(static_cast<std::int32_t>(le32(info + 28)));
    for (int row = 0; row < rows; ++row) {
        const uchar* source = bytes + dataOffset + stride * row;
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(height < 0 ? row : rows - 1 - row));
        // A pixel's three bytes (blue, green, red) read as a little-endian word are 0x..RRGGBB. The
        // last pixel of a row is read byte by byte: its fourth byte may lie past the file's end.
        for (int x = 0; x < width - 1; ++x, source += 3) {
            std::uint32_t word;
            std::memcpy(&word, source, sizeof word);
            word = qFromLittleEndian(word);
            target[x] = 0xff000000u | (word & 0x00ffffffu);
        }
        target[width - 1] = qRgb(source[2], source[1], source[0]);
    }
    return image;
}

}  // namespace

QImage readPicture(const QString& path)
{
    QImage image = readPlainBitmap(path);
    if (image.isNull()) return QImageReader(path).read();
    // Qt's reader takes "name@2x.bmp" as drawn at twice the size, and so on up to @9x.
    static const bool ratioFromNameOff = !qEnvironmentVariableIsEmpty("QT_HIGHDPI_DISABLE_2X_IMAGE_LOADING");
    if (!ratioFromNameOff) {
        const QString suffix = QFileInfo(path).baseName().right(3);
        if (suffix.size() == 3 && suffix[0] == u'@' && suffix[1] >= u'2' && suffix[1] <= u'9' && suffix[2] == u'x')
            image.setDevicePixelRatio(suffix[1].unicode() - u'0');
    }
    return image;
}

PictureCache& PictureCache::shared()
{
    static PictureCache cache;
    static const bool clearedWithTheApplication = [] {
        // Pixmaps may not outlive the application: they go with it, not with the program's statics.
        qAddPostRoutine([] { cache.entries_.clear(); });
        return true;
    }();
    Q_UNUSED(clearedWithTheApplication);
    return cache;
}

QPixmap PictureCache::picture(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile()) return {};
    const QDateTime modified = file.lastModified();
    const qint64 size = file.size();
    const auto known = entries_.constFind(path);
    if (known != entries_.cend() && known->modified == modified && known->size == size) return known->picture;
    if (readHook_) readHook_(path);
    // Read directly: QPixmap::load would also enter it into Qt's global pixmap cache, where the
    // large twins push each other out.
    QImage image = readPicture(path);
    if (image.isNull()) {
        entries_.remove(path);
        return {};
    }
    const QPixmap decoded = QPixmap::fromImage(std::move(image));
    entries_.insert(path, Entry{modified, size, decoded});
    return decoded;
}
