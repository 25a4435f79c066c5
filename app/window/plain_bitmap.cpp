#include "app/window/plain_bitmap.h"

#include <QtEndian>

#include <cstdint>
#include <cstring>

namespace {

constexpr qint64 kFileHeader = 14;
constexpr qint64 kInfoHeader = 40;
// Larger than any picture of the window, and small enough that rows times stride stay far from
// overflowing.
constexpr std::int32_t kMaxSide = 16384;

std::uint32_t le32(const uchar* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

std::uint16_t le16(const uchar* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

}  // namespace

QImage decodePlainBitmap(const uchar* bytes, qint64 size)
{
    if (bytes == nullptr || size < kFileHeader + kInfoHeader) return {};
    if (bytes[0] != 'B' || bytes[1] != 'M') return {};
    const qint64 dataOffset = le32(bytes + 10);
    const uchar* info = bytes + kFileHeader;
    const auto width = static_cast<std::int32_t>(le32(info + 4));
    const auto height = static_cast<std::int32_t>(le32(info + 8));
    if (le32(info) != kInfoHeader || le16(info + 12) != 1 || le16(info + 14) != 24 || le32(info + 16) != 0) return {};
    if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide) return {};
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
        // last pixel of a row is read byte by byte: its fourth byte may lie past the bytes' end.
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
