// The window's pictures decoded once for the run, by file: a screen shown again (a controller
// plugged and unplugged) shows what was decoded before instead of reading its bitmaps again.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <functional>

// The picture in path as Qt's image reader gives it (same pixels, format, resolution and device
// pixel ratio from an "@Nx" name); null when it cannot be read. The window's bitmaps are decoded
// directly (decodePlainBitmap), any other file by Qt's reader.
QImage readPicture(const QString& path);

class PictureCache {
public:
    // The run's one cache. Pixmaps belong to the UI thread, and so does this.
    static PictureCache& shared();

    // The picture in path, read and decoded at its first use, or again when the file has changed
    // since (another size or time of change). Null when the file is missing or not a picture;
    // such a file is not remembered, so that it is read again once it is there.
    QPixmap picture(const QString& path);

    // Called with the path of every file read and decoded; tests count them. Empty: nothing.
    void setReadHook(std::function<void(const QString& path)> hook) { readHook_ = std::move(hook); }

private:
    struct Entry {
        QDateTime modified;
        qint64 size = 0;
        QPixmap picture;
    };
    QHash<QString, Entry> entries_;
    std::function<void(const QString&)> readHook_;
};
