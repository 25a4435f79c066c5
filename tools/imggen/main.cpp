// Draws the update window's bitmaps into a folder, each also at twice the size for scaled screens:
//   lumaro-imggen <output-folder> [--preview <mock-up-folder>]

#include "layout.h"
#include "painting.h"
#include "pictures.h"
#include "preview.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace {

int fail(const QString& message)
{
  std::fprintf(stderr, "lumaro-imggen: %s\n", qPrintable(message));
  return 1;
}

// Qt's name for a picture's twin drawn at twice the size: "Start.bmp" and "Start@2x.bmp".
QString fileNameAt(const QString& fileName, int scale)
{
  if (scale == 1)
    return fileName;
  const qsizetype dot = fileName.lastIndexOf('.');
  return fileName.left(dot) + QStringLiteral("@%1x").arg(scale) + fileName.mid(dot);
}

} // namespace

int main(int argc, char* argv[])
{
  // Fonts and painting need a GUI application, but never a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  const QStringList arguments = application.arguments().mid(1);
  const bool withPreview = arguments.size() == 3 && arguments[1] == "--preview";
  if (arguments.size() != 1 && !withPreview)
    return fail("usage: lumaro-imggen <output-folder> [--preview <mock-up-folder>]");

  const QDir output(arguments[0]);
  if (!output.mkpath("."))
    return fail("cannot create " + output.path());

  for (const int scale : {1, 2}) {
    const Backgrounds backgrounds = drawBackgrounds(scale);
    // The disabled face shows on both backgrounds, so they must agree behind it.
    if (backdrop(backgrounds.found, layout::buttonFace) != backdrop(backgrounds.notFound, layout::buttonFace))
      return fail("the two backgrounds differ behind the button face");

    for (const Picture& picture : windowPictures()) {
      const QString path = output.filePath(fileNameAt(QString::fromLatin1(picture.fileName), scale));
      if (!saveBmp(picture.draw(backgrounds), path))
        return fail("cannot write " + path);
    }
  }

  if (withPreview) {
    const QDir previews(arguments[2]);
    if (!previews.mkpath(".") || !writePreviews(output, previews))
      return fail("cannot write the mock-ups into " + previews.path());
  }
  return 0;
}
