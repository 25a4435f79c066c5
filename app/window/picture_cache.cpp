// The run's picture cache: each bitmap file decoded once, again only when the file changes.
#include "app/window/picture_cache.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

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
    QImage image = QImageReader(path).read();
    if (image.isNull()) {
        entries_.remove(path);
        return {};
    }
    const QPixmap decoded = QPixmap::fromImage(std::move(image));
    entries_.insert(path, Entry{modified, size, decoded});
    return decoded;
}
