// The run's picture cache: each bitmap file decoded once, again only when the file changes.
#include "app/window/picture_cache.h"

#include "app/window/plain_bitmap.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

QImage readPicture(const QString& path)
{
    QImage image;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() > 0) image = decodePlainBitmap(file.map(0, file.size()), file.size());
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
