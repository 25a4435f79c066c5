// Linux: libudev's monitor on the hidraw subsystem, read when its socket becomes readable.
// Events come after udev has applied its rules, so a new node already has its permissions.
#include "platform/hid/hid_watch.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace platform {
namespace {

class UdevHidWatch final : public HidWatchBackend {
public:
    UdevHidWatch(HidWatchCallbacks callbacks, QObject* owner) : callbacks_(std::move(callbacks))
    {
        udev_ = udev_new();
        if (udev_ == nullptr) return;
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ == nullptr) return;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, owner);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { receive(); });
    }

    ~UdevHidWatch() override
    {
        notifier_.reset();
        if (monitor_ != nullptr) udev_monitor_unref(monitor_);
        if (udev_ != nullptr) udev_unref(udev_);
    }

    UdevHidWatch(const UdevHidWatch&) = delete;
    UdevHidWatch& operator=(const UdevHidWatch&) = delete;

    bool isWatching() const override { return notifier_ != nullptr; }

private:
    void receive()
    {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) return;
        const char* action = udev_device_get_action(device);
        const bool added = action != nullptr && std::strcmp(action, "add") == 0;
        const bool removed = action != nullptr && std::strcmp(action, "remove") == 0;
        udev_device_unref(device);
        if (added) callbacks_.arrived();
        if (removed) callbacks_.removed();
    }

    HidWatchCallbacks callbacks_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

std::unique_ptr<HidWatchBackend> makeNativeHidWatch(HidWatchCallbacks callbacks, QObject* owner)
{
    return std::make_unique<UdevHidWatch>(std::move(callbacks), owner);
}

}  // namespace platform
