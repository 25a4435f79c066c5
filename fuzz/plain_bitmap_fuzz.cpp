// A bitmap file of the window's pictures, decoded directly: what it decodes is what Qt's own BMP
// reader reads of the same bytes.
#include "app/window/plain_bitmap.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QImage decoded = decodePlainBitmap(data, static_cast<qint64>(size));
    if (decoded.isNull()) return 0;
    if (decoded.format() != QImage::Format_RGB32) __builtin_trap();
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    const QImage byQt = reader.read();
    if (byQt.isNull() || byQt.size() != decoded.size() || !(byQt == decoded)) __builtin_trap();
    if (byQt.dotsPerMeterX() != decoded.dotsPerMeterX() || byQt.dotsPerMeterY() != decoded.dotsPerMeterY()) __builtin_trap();
    return 0;
}
