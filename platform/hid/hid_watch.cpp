// Picks the backend once, when the watcher is made.
#include "platform/hid/hid_watch.h"

#include <QString>

#include <cstdlib>

namespace platform {

HidWatcher::HidWatcher(QObject* parent) : QObject(parent)
{
    // Each event is posted to this object's queue rather than emitted inside the source's own
    // handler (on Windows the native event filter of the system's message): what it leads to,
    // detection, waits for threads and lets events run, which does not belong in there.
    HidWatchCallbacks callbacks{[this] { post(&HidWatcher::interfaceArrived); },
                                [this] { post(&HidWatcher::interfaceRemoved); }};
    if (const char* bus = std::getenv("LUMARO_VBUS_DIR"); bus != nullptr)
        backend_ = makeVbusHidWatch(QString::fromLocal8Bit(bus), std::move(callbacks), this);
    else
        backend_ = makeNativeHidWatch(std::move(callbacks), this);
}

HidWatcher::~HidWatcher() = default;

void HidWatcher::post(void (HidWatcher::*signal)())
{
    QMetaObject::invokeMethod(this, [this, signal] { emit (this->*signal)(); }, Qt::QueuedConnection);
}

bool HidWatcher::isWatching() const
{
    return backend_ != nullptr && backend_->isWatching();
}

}  // namespace platform
