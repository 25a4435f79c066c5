// The window's bitmaps (uncompressed, 24 bits a pixel) decoded straight from their bytes. Qt's image
// reader looks through the image plugins at its first use and converts pixel by pixel: for the
// large start screen, about 1.5 ms more of a start that is meant to paint within a few.
#pragma once

#include <QImage>
#include <QtGlobal>

// The bitmap in bytes as Qt's BMP reader reads it: RGB32, rows bottom-up unless the height is
// negative, the header's resolution. Only an uncompressed 24-bit bitmap with the plain 40-byte
// header is decoded; null for any other, and for one whose pixel rows are cut short (Qt's reader
// has its own ways with those and with every other kind).
QImage decodePlainBitmap(const uchar* bytes, qint64 size);
