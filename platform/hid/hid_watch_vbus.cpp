// Virtual bus: an endpoint (<name>.sock, or <name>.tcp for a Windows build) that appears in hid/ is
// an arrival, one that disappears a removal.
// The folder is watched through QFileSystemWatcher (inotify on Linux); the present sockets are
// kept so that each change of the folder can be turned into the events it stands for.
#include "platform/hid/hid_vbus_transport.h"
#include "platform/hid/hid_watch.h"

#include <QDir>
#include <QFileSystemWatcher>

#include <map>
#include <string>

namespace platform {
namespace {

// Which endpoint a name stands for: an unplug and a replug between two looks leave the name as it
// was, so each endpoint is told by its file's identity.
using Sockets = std::map<QString, std::string>;

// True when a socket of before is not in after, as the same socket.
bool anyLeft(const Sockets& before, const Sockets& after)
{
    for (const auto& [name, identity] : before) {
        const auto found = after.find(name);
        if (found == after.end() || found->second != identity) return true;
    }
    return false;
}

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

    Sockets presentSockets() const
    {
        Sockets sockets;
        const QDir dir(hidDir_);
        const QStringList pattern{QStringLiteral("*") + QLatin1String(vbus::endpointExtension())};
        for (const QString& name : dir.entryList(pattern, QDir::Files | QDir::System | QDir::Hidden)) {
            // An endpoint gone between the listing and this look is not present. The path goes as
            // UTF-8, as every path of the program (not in the ANSI code page of encodeName on Windows).
            if (auto identity = vbus::endpointIdentity(dir.filePath(name).toStdString()))
                sockets[name] = std::move(*identity);
        }
        return sockets;
    }

    void rescan()
    {
        watchHidDir();
        const Sockets now = presentSockets();
        const bool removed = anyLeft(present_, now);
        const bool arrived = anyLeft(now, present_);
        present_ = now;
        // One event per kind and change is enough: every event leads to a full new detection.
        if (removed) callbacks_.removed();
        if (arrived) callbacks_.arrived();
    }

    QString busDir_;
    QString hidDir_;
    HidWatchCallbacks callbacks_;
    QFileSystemWatcher watcher_;
    Sockets present_;
};

}  // namespace

std::unique_ptr<HidWatchBackend> makeVbusHidWatch(const QString& busDir, HidWatchCallbacks callbacks,
                                                  QObject* owner)
{
    return std::make_unique<VbusHidWatch>(busDir, std::move(callbacks), owner);
}

}  // namespace platform
