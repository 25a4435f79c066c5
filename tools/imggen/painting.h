#pragma once

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QRectF>
#include <QString>

#include <initializer_list>

class QPainter;

// Vertical gradient from y `top` to y `bottom` through evenly spaced colour stops.
QLinearGradient verticalGradient(qreal top, qreal bottom, std::initializer_list<QColor> stops);

// Soft elliptical light, strongest in the middle and gone exactly at the ellipse's edge, so
// nothing outside the ellipse is touched.
void paintGlow(QPainter& painter, const QRectF& ellipse, const QColor& centre);

// A fixed, position-seeded grain of one level keeps wide dark gradients from banding in 24 bits.
// Equal pixels stay equal between two images, so areas drawn alike keep matching.
void addGrain(QImage& image);

// Look of one rounded, glassy surface: the button faces and the progress track.
struct SurfaceStyle {
  QColor top{};
  QColor bottom{};
  QColor rim{};
  int sheenAlpha = 0;     // white gloss over the upper half
  QColor innerGlow{Qt::transparent}; // light rising from the lower edge
  int insetShadowAlpha = 0; // dark band under the top edge, for pressed-in looks
};

void paintSurface(QPainter& painter, const QRectF& shape, qreal radius, const SurfaceStyle& style);

// Round badge with a light rim, the base of the tick and the error mark.
void paintDisc(QPainter& painter, const QRectF& disc, const QColor& top, const QColor& bottom);

// Writes a 24-bit uncompressed Windows bitmap.
bool saveBmp(const QImage& image, const QString& path);
