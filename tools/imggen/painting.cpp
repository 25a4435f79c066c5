#include "painting.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cstdint>

QLinearGradient verticalGradient(qreal top, qreal bottom, std::initializer_list<QColor> stops)
{
  QLinearGradient gradient(0, top, 0, bottom);
  const auto last = static_cast<qreal>(std::max<std::size_t>(stops.size() - 1, 1));
  qreal index = 0;
  for (const QColor& colour : stops) {
    gradient.setColorAt(index / last, colour);
    index += 1;
  }
  return gradient;
}

void paintGlow(QPainter& painter, const QRectF& ellipse, const QColor& centre)
{
  // A circle of radius 1 scaled onto the ellipse; the falloff eases out so no ring shows.
  QRadialGradient gradient(QPointF(0, 0), 1);
  QColor colour = centre;
  const int alpha = centre.alpha();
  for (const auto& [at, share] : {std::pair{0.0, 1.0}, {0.35, 0.62}, {0.65, 0.24}, {1.0, 0.0}}) {
    colour.setAlpha(static_cast<int>(alpha * share));
    gradient.setColorAt(at, colour);
  }
  painter.save();
  painter.translate(ellipse.center());
  painter.scale(ellipse.width() / 2, ellipse.height() / 2);
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawEllipse(QPointF(0, 0), 1, 1);
  painter.restore();
}

void addGrain(QImage& image)
{
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      std::uint32_t hash = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u;
      hash ^= hash >> 15;
      hash *= 0x2C1B3C6Du;
      hash ^= hash >> 13;
      const int offset = static_cast<int>(hash % 3) - 1;
      const auto shift = [offset](int channel) { return std::clamp(channel + offset, 0, 255); };
      const QRgb pixel = line[x];
      line[x] = qRgb(shift(qRed(pixel)), shift(qGreen(pixel)), shift(qBlue(pixel)));
    }
  }
}

void paintSurface(QPainter& painter, const QRectF& shape, qreal radius, const SurfaceStyle& style)
{
  QPainterPath outline;
  outline.addRoundedRect(shape, radius, radius);

  painter.save();
  painter.setPen(Qt::NoPen);
  painter.fillPath(outline, verticalGradient(shape.top(), shape.bottom(), {style.top, style.bottom}));

  painter.setClipPath(outline);
  if (style.innerGlow.alpha() > 0) {
    const QRectF rising(shape.left() + shape.width() * 0.1, shape.bottom() - shape.height() * 0.55,
                        shape.width() * 0.8, shape.height() * 1.1);
    paintGlow(painter, rising, style.innerGlow);
  }
  if (style.sheenAlpha > 0) {
    const QRectF upper(shape.left(), shape.top(), shape.width(), shape.height() * 0.5);
    painter.fillRect(upper, verticalGradient(upper.top(), upper.bottom(),
                                             {QColor(255, 255, 255, style.sheenAlpha), QColor(255, 255, 255, 0)}));
  }
  if (style.insetShadowAlpha > 0) {
    const QRectF band(shape.left(), shape.top(), shape.width(), std::min<qreal>(14, shape.height() * 0.4));
    painter.fillRect(band, verticalGradient(band.top(), band.bottom(),
                                            {QColor(0, 0, 0, style.insetShadowAlpha), QColor(0, 0, 0, 0)}));
  }
  painter.setClipping(false);

  // The rim catches light at the top and settles into the surface's own colour below.
  QColor rimTop = style.rim.lighter(115);
  rimTop.setAlpha(std::min(255, style.rim.alpha() + 30));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QBrush(verticalGradient(shape.top(), shape.bottom(), {rimTop, style.rim})), 1));
  painter.drawPath(outline);
  painter.restore();
}

void paintDisc(QPainter& painter, const QRectF& disc, const QColor& top, const QColor& bottom)
{
  painter.save();
  painter.setPen(QPen(top.lighter(125), 1));
  painter.setBrush(verticalGradient(disc.top(), disc.bottom(), {top, bottom}));
  painter.drawEllipse(disc);
  const QRectF gloss(disc.left() + disc.width() * 0.2, disc.top() + 1, disc.width() * 0.6, disc.height() * 0.45);
  painter.setPen(Qt::NoPen);
  painter.setBrush(verticalGradient(gloss.top(), gloss.bottom(), {QColor(255, 255, 255, 70), QColor(255, 255, 255, 0)}));
  painter.drawEllipse(gloss);
  painter.restore();
}

bool saveBmp(const QImage& image, const QString& path)
{
  // Qt writes 32-bit-per-pixel images as 24-bit uncompressed bitmaps.
  return image.convertToFormat(QImage::Format_RGB32).save(path, "BMP");
}
