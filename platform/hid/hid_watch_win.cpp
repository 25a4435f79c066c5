// Windows: a hidden native window of the process is registered for the HID interface class; its
// WM_DEVICECHANGE messages are picked out of Qt's event handling by a native event filter.
#include "platform/hid/device_change_win.h"
#include "platform/hid/hid_watch.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <windows.h>

namespace platform {
namespace {

class WinHidWatch final : public HidWatchBackend, public QAbstractNativeEventFilter {
public:
    explicit WinHidWatch(HidWatchCallbacks callbacks) : callbacks_(std::move(callbacks))
    {
        // Only the windows platform has native windows; offscreen runs go without hot-plug.
        if (QGuiApplication::platformName() != QLatin1String("windows")) return;
        window_ = std::make_unique<QWindow>();
        window_->create();
        window_->setTitle(QStringLiteral("HID notifications"));
        hwnd_ = reinterpret_cast<HWND>(window_->winId());
        registration_ = registerForHidInterfaces(hwnd_);
        if (registration_ != nullptr) QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~WinHidWatch() override
    {
        if (registration_ != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
        unregisterDeviceChanges(registration_);
    }

    WinHidWatch(const WinHidWatch&) = delete;
    WinHidWatch& operator=(const WinHidWatch&) = delete;

    bool isWatching() const override { return registration_ != nullptr; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) override
    {
        if (eventType != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->hwnd != hwnd_ || msg->message != WM_DEVICECHANGE) return false;
        switch (decodeDeviceChange(msg->wParam, msg->lParam)) {
        case DeviceChange::Arrival: callbacks_.arrived(); break;
        case DeviceChange::Removal: callbacks_.removed(); break;
        case DeviceChange::None: break;
        }
        return false;  // the system's own handling goes on
    }

private:
    HidWatchCallbacks callbacks_;
    std::unique_ptr<QWindow> window_;
    HWND hwnd_ = nullptr;
    void* registration_ = nullptr;
};

}  // namespace

std::unique_ptr<HidWatchBackend> makeNativeHidWatch(HidWatchCallbacks callbacks, QObject* /*owner*/)
{
    return std::make_unique<WinHidWatch>(std::move(callbacks));
}

}  // namespace platform
