// Arrival and removal of HID interfaces, delivered as Qt signals on the thread that owns the
// watcher (the UI thread), from its event loop: never inside the handler that took the event from
// its source. One backend per source of events: the operating system's device
// notifications, or the virtual bus's hid/ folder when LUMARO_VBUS_DIR is set at construction.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace platform {

class HidWatchBackend;

class HidWatcher : public QObject {
    Q_OBJECT
public:
    explicit HidWatcher(QObject* parent = nullptr);
    ~HidWatcher() override;

    // False when no source of events could be opened; the program then runs without hot-plug.
    bool isWatching() const;

signals:
    void interfaceArrived();
    void interfaceRemoved();

private:
    void post(void (HidWatcher::*signal)());

    std::unique_ptr<HidWatchBackend> backend_;
};

// What each backend implements; it reports through the two callbacks it is given.
class HidWatchBackend {
public:
    virtual ~HidWatchBackend() = default;
    virtual bool isWatching() const = 0;
};

struct HidWatchCallbacks {
    std::function<void()> arrived;
    std::function<void()> removed;
};

std::unique_ptr<HidWatchBackend> makeVbusHidWatch(const QString& busDir, HidWatchCallbacks callbacks,
                                                  QObject* owner);
std::unique_ptr<HidWatchBackend> makeNativeHidWatch(HidWatchCallbacks callbacks, QObject* owner);

}  // namespace platform
