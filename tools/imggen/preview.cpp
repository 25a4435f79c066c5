#include "preview.h"

#include "layout.h"

#include <QFont>
#include <QPainter>

#include <array>
#include <optional>

namespace {

const char* const readyHint = "Your device will update to the latest software version";
const char* const sampleVersion = "V1.05";

struct ScreenState {
  const char* name;
  const char* background;
  const char* face;
  const char* caption;
  const char* hint;
  const char* version;
  bool warning = false;
  std::optional<int> progress{}; // fill width in pixels while the track shows
  bool completion = false;
  bool error = false;
};

const std::array screens{
  ScreenState{.name = "no-device", .background = "devNotFound.bmp", .face = "NotPress.bmp", .caption = "Update",
              .hint = "Please plug Lumaro Controller to USB port of your PC", .version = "Device Not Found",
              .warning = true},
  ScreenState{.name = "ready", .background = "devFound.bmp", .face = "CanPress.bmp", .caption = "Update",
              .hint = readyHint, .version = sampleVersion},
  ScreenState{.name = "hover", .background = "devFound.bmp", .face = "MousetoHere.bmp", .caption = "Update",
              .hint = readyHint, .version = sampleVersion},
  ScreenState{.name = "updating", .background = "devFound.bmp", .face = "BarPresed.bmp", .caption = "Updating",
              .hint = readyHint, .version = sampleVersion, .progress = 232},
  ScreenState{.name = "done", .background = "devFound.bmp", .face = "BarOK.bmp", .caption = "OK",
              .hint = readyHint, .version = sampleVersion, .completion = true},
  ScreenState{.name = "failed", .background = "devFound.bmp", .face = "NotPress.bmp", .caption = "Update",
              .hint = readyHint, .version = sampleVersion, .progress = 40, .error = true},
};

QFont tahoma(int pixels, bool bold = false, bool underline = false)
{
  QFont font("Tahoma");
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setUnderline(underline);
  return font;
}

// The window keys out the error mark's bottom-left colour; the mock-up does the same.
QImage keyedOut(const QImage& picture)
{
  QImage keyed = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = keyed.pixel(0, keyed.height() - 1);
  for (int y = 0; y < keyed.height(); ++y)
    for (int x = 0; x < keyed.width(); ++x)
      if (keyed.pixel(x, y) == key)
        keyed.setPixel(x, y, qRgba(0, 0, 0, 0));
  return keyed;
}

void drawText(QPainter& painter, const QRect& box, const QFont& font, int alignment, const char* text)
{
  painter.setFont(font);
  painter.drawText(box, alignment | Qt::AlignTop, QString::fromLatin1(text));
}

bool writeScreen(const ScreenState& screen, const QDir& imageFolder, const QDir& previewFolder)
{
  const auto picture = [&imageFolder](const char* name) { return QImage(imageFolder.filePath(QString::fromLatin1(name))); };
  const std::array needed{screen.background, screen.face, "ZeroPert.bmp", "com.bmp", "error.bmp", "War_devNotFound.bmp"};
  for (const char* name : needed)
    if (picture(name).isNull())
      return false;

  QImage canvas(layout::background, QImage::Format_RGB32);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.drawImage(0, 0, picture(screen.background));
  painter.drawImage(layout::buttonFace.topLeft(), picture(screen.face));
  if (screen.progress) {
    painter.drawImage(layout::progressTrack.topLeft(), picture("ZeroPert.bmp"));
    QRect fill = layout::progressTrack;
    fill.setWidth(*screen.progress);
    painter.fillRect(fill, layout::progressFill);
  }
  if (screen.warning)
    painter.drawImage(layout::warningMark.topLeft(), picture("War_devNotFound.bmp"));
  if (screen.completion)
    painter.drawImage(layout::tickMark.topLeft(), picture("com.bmp"));
  if (screen.error)
    painter.drawImage(layout::errorMark.topLeft(), keyedOut(picture("error.bmp")));

  painter.setPen(Qt::white);
  drawText(painter, layout::title, tahoma(27), Qt::AlignLeft, "Lumaro Tessaray Controller");
  drawText(painter, layout::hint, tahoma(16, true), Qt::AlignHCenter, screen.hint);
  drawText(painter, layout::version, tahoma(24, false, true), Qt::AlignHCenter, screen.version);
  drawText(painter, layout::buttonCaption, tahoma(24), Qt::AlignHCenter, screen.caption);
  if (screen.completion)
    drawText(painter, layout::completionLine, tahoma(16, true), Qt::AlignLeft,
             "Update Complete ! You can remove Lumaro Controller from PC now.");
  if (screen.error)
    drawText(painter, layout::errorLine, tahoma(16, true), Qt::AlignLeft, "Fail to update ! Re-plug and update again.");
  painter.end();
  return canvas.save(previewFolder.filePath(QString::fromLatin1(screen.name) + ".png"), "PNG");
}

} // namespace

bool writePreviews(const QDir& imageFolder, const QDir& previewFolder)
{
  for (const ScreenState& screen : screens)
    if (!writeScreen(screen, imageFolder, previewFolder))
      return false;
  return true;
}
