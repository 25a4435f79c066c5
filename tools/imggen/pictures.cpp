#include "pictures.h"

#include "layout.h"
#include "painting.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr qreal faceRadius = 13;
constexpr qreal trackRadius = 3;

// Lit LEDs run from magenta through the progress violet and blue to a cool cyan.
QColor ledColour(qreal along)
{
  const qreal hue = 0.84 - 0.32 * along;
  return QColor::fromHsvF(static_cast<float>(hue), 0.72f, 1.0f);
}

// Paints what both backgrounds share: the deep base, the quiet light behind the content and the
// darkened edges. Everything that tells found from not-found stays clear of the button face.
void paintBase(QPainter& painter)
{
  const QRectF whole(QPointF(0, 0), layout::background);
  painter.fillRect(whole, verticalGradient(0, whole.height(),
                                           {QColor(24, 21, 44), QColor(15, 14, 30), QColor(9, 9, 18)}));
  paintGlow(painter, QRectF(18, 120, 700, 300), QColor(74, 66, 130, 70));

  // Vignette: a wide transparent-centred radial that darkens toward the corners.
  QRadialGradient vignette(whole.center(), whole.width() * 0.72);
  vignette.setColorAt(0.55, QColor(0, 0, 0, 0));
  vignette.setColorAt(1.0, QColor(0, 0, 0, 120));
  painter.fillRect(whole, vignette);
}

// A field of LED points in the top-right corner, fading out toward the content. Lit, they glow in
// a travelling wave of colour; unlit, they are dim grey sockets.
void paintLedField(QPainter& painter, bool lit)
{
  const QPointF heart(660, 52);
  constexpr qreal pitch = 13;
  painter.save();
  painter.setPen(Qt::NoPen);
  for (int row = 0; row < 11; ++row) {
    const qreal y = 14 + row * pitch * 0.87;
    for (int column = 0; column < 22; ++column) {
      const qreal x = 456 + column * pitch + (row % 2) * pitch / 2;
      const qreal reach = std::hypot((x - heart.x()) / 230, (y - heart.y()) / 125);
      const qreal fade = std::pow(std::clamp(1 - reach, 0.0, 1.0), 1.4);
      if (fade < 0.02)
        continue;
      if (!lit) {
        painter.setBrush(QColor(150, 150, 176, static_cast<int>(70 * fade)));
        painter.drawEllipse(QPointF(x, y), 1.6, 1.6);
        continue;
      }
      const qreal wave = 0.55 + 0.45 * std::sin(x / 38 + y / 23);
      QColor colour = ledColour((x - 456) / 280);
      colour.setAlpha(static_cast<int>(150 * fade * wave));
      paintGlow(painter, QRectF(x - 7, y - 7, 14, 14), colour);
      colour.setAlpha(static_cast<int>(255 * fade * (0.35 + 0.65 * wave)));
      painter.setBrush(colour);
      painter.drawEllipse(QPointF(x, y), 1.8, 1.8);
    }
  }
  painter.restore();
}

// Out-of-focus LED lights drifting near the lit field: even discs with a soft, slightly brighter edge.
void paintBokeh(QPainter& painter)
{
  struct Light { QPointF centre; qreal radius; qreal along; int alpha; };
  const std::array lights{Light{{500, 116}, 22, 0.1, 24}, Light{{706, 126}, 30, 0.95, 22},
                          Light{{566, 26}, 18, 0.4, 22}, Light{{646, 112}, 11, 0.7, 30}};
  painter.save();
  painter.setPen(Qt::NoPen);
  for (const Light& light : lights) {
    QRadialGradient disc(light.centre, light.radius);
    QColor colour = ledColour(light.along);
    for (const auto& [at, share] : {std::pair{0.0, 0.7}, {0.82, 1.0}, {0.9, 1.15}, {1.0, 0.0}}) {
      colour.setAlpha(static_cast<int>(light.alpha * share));
      disc.setColorAt(at, colour);
    }
    painter.setBrush(disc);
    painter.drawEllipse(light.centre, light.radius, light.radius);
  }
  painter.restore();
}

// A hairline under the title that fades out to the right, lit from its left end.
void paintTitleRule(QPainter& painter, const QColor& colour)
{
  QLinearGradient fade(40, 0, 420, 0);
  fade.setColorAt(0, colour);
  QColor gone = colour;
  gone.setAlpha(0);
  fade.setColorAt(1, gone);
  painter.fillRect(QRectF(40, 76, 380, 1.5), fade);
  QColor halo = colour;
  halo.setAlpha(colour.alpha() / 3);
  paintGlow(painter, QRectF(10, 66, 160, 22), halo);
}

// An unplugged lead in the corner where the lit LEDs would be: cable, plug, a gap, an empty port.
void paintUnpluggedHint(QPainter& painter)
{
  const QColor line(176, 176, 206, 92);
  painter.save();
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(line, 5, Qt::SolidLine, Qt::RoundCap));
  QPainterPath cable(QPointF(748, 128));
  cable.cubicTo(QPointF(700, 126), QPointF(700, 88), QPointF(660, 88));
  painter.drawPath(cable);

  painter.setPen(QPen(line, 1.5));
  painter.setBrush(QColor(176, 176, 206, 40));
  painter.drawRoundedRect(QRectF(624, 77, 38, 22), 5, 5);     // plug body
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(605, 81.5, 19, 13));                // metal shell
  painter.drawRect(QRectF(609, 85.5, 4, 5));
  painter.drawRect(QRectF(616, 85.5, 4, 5));

  painter.setPen(QPen(line, 1.5, Qt::SolidLine, Qt::RoundCap));
  for (const auto& [from, to] : {std::pair{QPointF(592, 80), QPointF(586, 74)},
                                 {QPointF(590, 88), QPointF(582, 88)},
                                 {QPointF(592, 96), QPointF(586, 102)}})
    painter.drawLine(from, to);

  painter.setPen(QPen(line, 1.5));
  painter.drawRoundedRect(QRectF(538, 74, 36, 28), 6, 6);    // port
  painter.drawRect(QRectF(546, 82.5, 20, 11));
  painter.restore();
}

QImage drawBackground(bool found, int scale)
{
  QImage image(layout::background * scale, QImage::Format_RGB32);
  image.setDevicePixelRatio(scale);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintBase(painter);
  if (found) {
    paintGlow(painter, QRectF(-240, -210, 680, 400), QColor(159, 38, 229, 95));
    paintGlow(painter, QRectF(470, -170, 420, 360), QColor(40, 170, 230, 60));
    paintGlow(painter, QRectF(-80, 392, 896, 140), QColor(150, 40, 220, 80));
    paintLedField(painter, true);
    paintBokeh(painter);
    paintTitleRule(painter, QColor(196, 120, 255, 200));
  } else {
    paintGlow(painter, QRectF(-240, -210, 680, 400), QColor(120, 120, 150, 45));
    paintGlow(painter, QRectF(-80, 392, 896, 140), QColor(110, 110, 140, 40));
    paintLedField(painter, false);
    paintUnpluggedHint(painter);
    paintTitleRule(painter, QColor(170, 170, 196, 120));
  }
  painter.end();
  addGrain(image);
  return image;
}

// An image's whole area in layout pixels, where painting on it happens.
QRectF layoutRect(const QImage& image)
{
  return QRectF(QPointF(0, 0), image.deviceIndependentSize());
}

QImage drawFace(const QImage& background, const SurfaceStyle& style)
{
  QImage image = backdrop(background, layout::buttonFace);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintSurface(painter, layoutRect(image).adjusted(0.5, 0.5, -0.5, -0.5), faceRadius, style);
  return image;
}

QImage drawFoundBackground(const Backgrounds& backgrounds) { return backgrounds.found; }
QImage drawNotFoundBackground(const Backgrounds& backgrounds) { return backgrounds.notFound; }

QImage drawReadyFace(const Backgrounds& backgrounds)
{
  return drawFace(backgrounds.found, {.top = QColor(172, 78, 240), .bottom = QColor(118, 26, 196),
                                      .rim = QColor(206, 150, 255, 150), .sheenAlpha = 40,
                                      .innerGlow = QColor(214, 110, 255, 60)});
}

QImage drawHoverFace(const Backgrounds& backgrounds)
{
  return drawFace(backgrounds.found, {.top = QColor(192, 104, 255), .bottom = QColor(142, 40, 226),
                                      .rim = QColor(230, 186, 255, 190), .sheenAlpha = 52,
                                      .innerGlow = QColor(255, 150, 250, 120)});
}

QImage drawPressedFace(const Backgrounds& backgrounds)
{
  return drawFace(backgrounds.found, {.top = QColor(76, 18, 128), .bottom = QColor(112, 30, 180),
                                      .rim = QColor(150, 84, 220, 140), .innerGlow = QColor(159, 38, 229, 90),
                                      .insetShadowAlpha = 110});
}

QImage drawFinishedFace(const Backgrounds& backgrounds)
{
  return drawFace(backgrounds.found, {.top = QColor(36, 178, 116), .bottom = QColor(14, 120, 78),
                                      .rim = QColor(120, 232, 176, 150), .sheenAlpha = 40,
                                      .innerGlow = QColor(90, 240, 170, 60)});
}

// The disabled face is shown on both backgrounds (no device, and a failed update).
QImage drawDisabledFace(const Backgrounds& backgrounds)
{
  return drawFace(backgrounds.notFound, {.top = QColor(56, 54, 74), .bottom = QColor(40, 39, 54),
                                         .rim = QColor(255, 255, 255, 40), .sheenAlpha = 16});
}

QImage drawProgressTrack(const Backgrounds& backgrounds)
{
  QImage image = backdrop(backgrounds.found, layout::progressTrack);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintSurface(painter, layoutRect(image).adjusted(0.5, 0.5, -0.5, -0.5), trackRadius,
               {.top = QColor(20, 12, 34), .bottom = QColor(46, 24, 72),
                .rim = QColor(159, 38, 229, 110), .insetShadowAlpha = 90});
  return image;
}

QImage drawTick(const Backgrounds& backgrounds)
{
  QImage image = backdrop(backgrounds.found, layout::tickMark);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintDisc(painter, QRectF(1.5, 1.5, 22, 22), QColor(52, 206, 138), QColor(16, 142, 88));
  painter.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const std::array check{QPointF(7.4, 12.9), QPointF(10.9, 16.3), QPointF(17.8, 9.2)};
  painter.drawPolyline(check.data(), static_cast<int>(check.size()));
  return image;
}

// The error mark is shown with its bottom-left colour keyed out, so it stands on one flat colour:
// the background's own colour at that spot, which also looks right where no keying happens.
QImage drawErrorMark(const Backgrounds& backgrounds)
{
  const QImage behind = backdrop(backgrounds.found, layout::errorMark);
  const QColor flat = behind.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
  QImage image(behind.size(), QImage::Format_RGB32);
  image.setDevicePixelRatio(behind.devicePixelRatio());
  image.fill(flat);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintDisc(painter, QRectF(1.5, 1.5, 22, 22), QColor(246, 86, 98), QColor(196, 30, 54));
  painter.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(8.6, 8.6), QPointF(16.4, 16.4));
  painter.drawLine(QPointF(16.4, 8.6), QPointF(8.6, 16.4));
  return image;
}

QImage drawWarningMark(const Backgrounds& backgrounds)
{
  QImage image = backdrop(backgrounds.notFound, layout::warningMark);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor amber(250, 178, 44);
  const std::array corners{QPointF(12.5, 3.5), QPointF(22.5, 21), QPointF(2.5, 21)};
  painter.setPen(QPen(amber, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(verticalGradient(3, 22, {QColor(255, 208, 92), amber}));
  painter.drawPolygon(corners.data(), static_cast<int>(corners.size()));
  const QColor ink(48, 30, 6);
  painter.setPen(QPen(ink, 2.3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(12.5, 9.5), QPointF(12.5, 14.6));
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink);
  painter.drawEllipse(QPointF(12.5, 18.1), 1.35, 1.35);
  return image;
}

constexpr std::array pictures{
  Picture{"devFound.bmp", drawFoundBackground},
  Picture{"devNotFound.bmp", drawNotFoundBackground},
  Picture{"CanPress.bmp", drawReadyFace},
  Picture{"NotPress.bmp", drawDisabledFace},
  Picture{"MousetoHere.bmp", drawHoverFace},
  Picture{"BarPresed.bmp", drawPressedFace},
  Picture{"BarOK.bmp", drawFinishedFace},
  Picture{"ZeroPert.bmp", drawProgressTrack},
  Picture{"com.bmp", drawTick},
  Picture{"error.bmp", drawErrorMark},
  Picture{"War_devNotFound.bmp", drawWarningMark},
};

} // namespace

Backgrounds drawBackgrounds(int scale)
{
  return {drawBackground(true, scale), drawBackground(false, scale)};
}

// A small picture starts as the background behind its spot on the window.
QImage backdrop(const QImage& background, const QRect& spot)
{
  const int scale = qRound(background.devicePixelRatio());
  QImage piece = background.copy(QRect(spot.topLeft() * scale, spot.size() * scale));
  piece.setDevicePixelRatio(scale);
  return piece;
}

std::span<const Picture> windowPictures()
{
  return pictures;
}
