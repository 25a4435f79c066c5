// The window's pictures decoded once for the run, by file: a screen shown again (a controller
// plugged and unplugged) shows what was decoded before instead of reading its bitmaps again.
// Pictures known to be needed soon can be decoded ahead on a worker thread.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <vector>

class PictureCache {
public:
    // The run's one cache. Pixmaps belong to the UI thread, and so does this; only the decoding
    // of prefetch() runs elsewhere. Waits for that decoding at the end of the run.
    static PictureCache& shared();
    ~PictureCache();

    // The picture in path, read and decoded at its first use, or again when the file has changed
    // since (another size or time of change). Null when the file is missing or not a picture;
    // such a file is not remembered, so that it is read again once it is there. A file given to
    // prefetch() is taken from there, waiting for its decoding if need be.
    QPixmap picture(const QString& path);

    // Starts decoding these files, in this order, on a worker thread, so that picture() finds them
    // decoded. Files already decoded and unchanged, or already on their way, are left out.
    void prefetch(const QStringList& paths);

    // Called on the UI thread with the path of every file decoded into the cache, as it enters;
    // tests count them. Empty: nothing.
    void setReadHook(std::function<void(const QString& path)> hook) { readHook_ = std::move(hook); }

private:
    // A file as it was when read, and what it held.
    struct Decoded {
        QDateTime modified;
        qint64 size = 0;
        QImage image;
    };
    struct Entry {
        QDateTime modified;
        qint64 size = 0;
        QPixmap picture;
    };
    static Decoded decode(const QString& path);
    QHash<QString, Entry> entries_;
    QHash<QString, std::shared_future<Decoded>> prefetched_;
    std::vector<std::future<void>> workers_;
    std::function<void(const QString&)> readHook_;
};
