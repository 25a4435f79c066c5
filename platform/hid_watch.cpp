// Picks the backend once, when the watcher is made.
#include "hid_watch.h"

#include <QString>

#include <cstdlib>

namespace platform {

HidWatcher::HidWatcher(QObject* parent) : QObject(parent)
{
    HidWatchCallbacks callbacks{[this] { emit interfaceArrived(); }, [this] { emit interfaceRemoved(); }};
    if (const char* bus = std::getenv("LUMARO_VBUS_DIR"); bus != nullptr)
        backend_ = makeVbusHidWatch(QString::fromLocal8Bit(bus), std::move(callbacks), this);
    else
        backend_ = makeNativeHidWatch(std::move(callbacks), this);
}

HidWatcher::~HidWatcher() = default;

bool HidWatcher::isWatching() const
{
    return backend_ != nullptr && backend_->isWatching();
}

}  // namespace platform
