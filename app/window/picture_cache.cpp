// The run's picture cache: each bitmap file decoded once, again only when the file changes; the
// start-up pictures decoded on a worker thread while the window builds its controls.
#include "app/window/picture_cache.h"

#include <QFileInfo>
#include <QImageReader>

#include <chrono>
#include <utility>

PictureCache& PictureCache::shared()
{
    static PictureCache cache;
    return cache;
}

PictureCache::~PictureCache()
{
    for (std::future<void>& worker : workers_) worker.wait();
}

// Safe on any thread: QImage, unlike QPixmap, may be made off the UI thread.
PictureCache::Decoded PictureCache::decode(const QString& path)
{
    const QFileInfo file(path);
    Decoded decoded{file.lastModified(), file.size(), {}};
    // Read directly: QPixmap::load would also enter it into Qt's global pixmap cache, where the
    // large twins push each other out.
    decoded.image = QImageReader(path).read();
    // The format a pixmap keeps, so that turning it into one on the UI thread copies nothing.
    if (!decoded.image.isNull())
        decoded.image.convertTo(decoded.image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                : QImage::Format_RGB32);
    return decoded;
}

QPixmap PictureCache::picture(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile()) return {};
    const QDateTime modified = file.lastModified();
    const qint64 size = file.size();
    const auto known = entries_.constFind(path);
    if (known != entries_.cend() && known->modified == modified && known->size == size) return known->picture;
    Decoded decoded;
    if (const auto ahead = prefetched_.constFind(path); ahead != prefetched_.cend()) {
        decoded = ahead->get();
        prefetched_.erase(ahead);
    }
    // Decoded ahead from another state of the file: read it as it is now.
    if (decoded.modified != modified || decoded.size != size) decoded = decode(path);
    if (readHook_) readHook_(path);
    if (decoded.image.isNull()) {
        entries_.remove(path);
        return {};
    }
    const QPixmap converted = QPixmap::fromImage(std::move(decoded.image));
    entries_.insert(path, Entry{modified, size, converted});
    return converted;
}

void PictureCache::prefetch(const QStringList& paths)
{
    std::vector<std::pair<QString, std::promise<Decoded>>> work;
    for (const QString& path : paths) {
        if (prefetched_.contains(path)) continue;
        const auto known = entries_.constFind(path);
        if (known != entries_.cend()) {
            const QFileInfo file(path);
            if (known->modified == file.lastModified() && known->size == file.size()) continue;
        }
        std::promise<Decoded> promise;
        prefetched_.insert(path, promise.get_future().share());
        work.emplace_back(path, std::move(promise));
    }
    if (work.empty()) return;
    std::erase_if(workers_, [](const std::future<void>& worker) {
        return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    workers_.push_back(std::async(std::launch::async, [work = std::move(work)]() mutable {
        for (auto& [path, promise] : work) promise.set_value(decode(path));
    }));
}
