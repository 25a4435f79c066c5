// The simulator's devices as USB devices of a Linux kernel: a configfs gadget (libcomposite) on one
// UDC of dummy_hcd, which the same kernel's USB host stack enumerates as if it were plugged in. A
// controller or a board is a HID function (64-byte reports, no report ID) with its model's VID, PID
// and strings; a controller's bootloader shows its update disk as a removable mass-storage
// function on the same gadget, whose FAT image holds firmware.bin. Neither function tells the
// device side of a host's power-off, so the disk watches the host's side of the same kernel
// (sysfs): once the disk's USB device has left the host's bus, the host has stopped it.
#pragma once

#include "device_config.h"
#include "event_loop.h"
#include "hid_endpoint.h"
#include "update_disk.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace sim {

struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0x0100;  // bcdDevice
    std::string manufacturer;
    std::string product;
    std::string serial;
};

// The HID identity of a controller or a board (its id=HWID, "HID\VID_1FC9&PID_0003&REV_0100"), with
// its model's strings; throws ConfigError when the hardware ID names no VID and PID.
UsbIdentity usbIdentityOf(const DeviceConfig& config);
// The identity of a controller's update disk: the controller's VID, the bootloader disk's PID.
UsbIdentity updateDiskIdentityOf(const UsbIdentity& controller);

// The kernel's report descriptor of the HID function: vendor page 0xFF00, one 64-byte input and one
// 64-byte output report, no report ID.
extern const std::uint8_t kUsbReportDescriptor[27];

// One gadget in /sys/kernel/config/usb_gadget/tessaray-<name>, bound to dummy_udc.<udcIndex> with
// one function at a time.
class UsbGadget {
public:
    // Throws std::runtime_error when there is no configfs or no such UDC (modprobe dummy_hcd num=N).
    UsbGadget(const std::string& name, int udcIndex, UsbIdentity identity);
    ~UsbGadget();  // unbinds and removes the gadget
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    const UsbIdentity& identity() const { return identity_; }
    const std::string& udc() const { return udc_; }
    // Plugged in as the HID interface; returns the device side's node (/dev/hidgN). Throws.
    std::string bindHid();
    // Plugged in as the update disk over image. Throws.
    void bindMassStorage(const std::filesystem::path& image);
    // Pulled out: the UDC let go, the function taken out of the configuration.
    void unbind();
    // Whether the host side of the kernel has the gadget's USB device (with the identity it is
    // bound with) on its bus, and its port there ("3-1").
    bool hostHasDevice() const;
    std::string hostPort() const;

private:
    void setIdentity(std::uint16_t productId, const std::string& product);
    std::filesystem::path hostDevice() const;

    std::filesystem::path dir_;
    std::string udc_;
    int udcIndex_;
    UsbIdentity identity_;
    std::uint16_t boundProductId_ = 0;
    std::string boundFunction_;  // "hid.usb0", "mass_storage.usb0" or empty
};

// The HID interface on a gadget: reads the host's output reports from /dev/hidgN, writes input
// reports there (queued while the host does not take them).
class UsbHidFunction final : public HidSide {
public:
    UsbHidFunction(EventLoop& loop, std::shared_ptr<UsbGadget> gadget, Callbacks callbacks);
    ~UsbHidFunction() override;

    void appear(const std::string& port) override;  // port: the kernel chooses; not used
    void disappear() override;
    bool present() const override { return fd_ >= 0; }
    bool mayHaveReport() const override { return fd_ >= 0; }
    std::optional<platform::Report> takeReport() override;
    void sendToReaders(const platform::Report& report) override;

private:
    void watch(bool forOutput);
    void flush();

    EventLoop& loop_;
    std::shared_ptr<UsbGadget> gadget_;
    Callbacks callbacks_;
    int fd_ = -1;
    bool watchingOutput_ = false;
    std::deque<platform::Report> waiting_;  // input reports the host has not taken yet
};

// The update disk on a gadget: a FAT image made with mkfs.vfat and mtools for each showing.
class UsbUpdateDisk final : public DiskSide {
public:
    UsbUpdateDisk(std::shared_ptr<UsbGadget> gadget, std::string firmware);
    ~UsbUpdateDisk() override;

    const std::string& firmware() const override { return firmware_; }
    bool shown() const override { return shown_; }
    std::string label() const override { return "usb:" + gadget_->udc(); }
    std::optional<char> letter() const override { return std::nullopt; }
    void show(bool refusing, const std::string& port) override;  // throws std::runtime_error
    bool remove(bool takeFirmware) override;
    bool stoppedByHost() override;

private:
    std::shared_ptr<UsbGadget> gadget_;
    std::string firmware_;
    std::filesystem::path image_;
    bool shown_ = false;
    bool seenByHost_ = false;
};

// How often a gadget's disk looks at the host's side.
inline constexpr int kUsbLookMs = 100;

}  // namespace sim
