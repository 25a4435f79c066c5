// Virtual bus: an endpoint (<name>.sock, or <name>.tcp for a Windows build) that appears in hid/ is
// an arrival, one that disappears a removal.
// The folder is watched through QFileSystemWatcher (inotify on Linux); the present sockets are
// kept so that each change of the folder can be turned into the events it stands for.
#include "hid_vbus_transport.h"
#include "hid_watch.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QSet>

namespace platform {
namespace {

class VbusHidWatch final : public HidWatchBackend {
public:
    VbusHidWatch(const QString& busDir, HidWatchCallbacks callbacks, QObject* owner)
        : busDir_(busDir), hidDir_(QDir(busDir).filePath("hid")), callbacks_(std::move(callbacks)),
          watcher_(owner)
    {
        QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_,
                         [this](const QString&) { rescan(); });
        // The bus may not have its hid/ folder yet: watch the bus until it appears.
        watcher_.addPath(busDir_);
        watchHidDir();
        present_ = presentSockets();
    }

    bool isWatching() const override { return !watcher_.directories().isEmpty(); }

private:
    void watchHidDir()
    {
        if (!watcher_.directories().contains(hidDir_) && QDir(hidDir_).exists()) watcher_.addPath(hidDir_);
    }

    QSet<QString> presentSockets() const
    {
        const QStringList names = QDir(hidDir_).entryList({QStringLiteral("*") + QLatin1String(vbus::endpointExtension())}, QDir::Files | QDir::System | QDir::Hidden);
        return QSet<QString>(names.begin(), names.end());
    }

    void rescan()
    {
        watchHidDir();
        const QSet<QString> now = presentSockets();
        const bool removed = !(present_ - now).isEmpty();
        const bool arrived = !(now - present_).isEmpty();
        present_ = now;
        // One event per kind and change is enough: every event leads to a full new detection.
        if (removed) callbacks_.removed();
        if (arrived) callbacks_.arrived();
    }

    QString busDir_;
    QString hidDir_;
    HidWatchCallbacks callbacks_;
    QFileSystemWatcher watcher_;
    QSet<QString> present_;
};

}  // namespace

std::unique_ptr<HidWatchBackend> makeVbusHidWatch(const QString& busDir, HidWatchCallbacks callbacks,
                                                  QObject* owner)
{
    return std::make_unique<VbusHidWatch>(busDir, std::move(callbacks), owner);
}

}  // namespace platform
