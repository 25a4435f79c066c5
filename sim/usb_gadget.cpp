#include "usb_gadget.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sim {
namespace {

namespace fs = std::filesystem;

const fs::path kGadgets = "/sys/kernel/config/usb_gadget";
constexpr const char* kHidFunction = "hid.usb0";
constexpr const char* kDiskFunction = "mass_storage.usb0";
// What an LPC17xx USB bootloader's disk shows itself as: the controller's vendor, its own product.
constexpr std::uint16_t kUpdateDiskProductId = 0x0114;
constexpr int kUsbReportBytes = 64;

void writeAttribute(const fs::path& file, const std::string& value) {
    std::ofstream out(file, std::ios::binary);
    out << value;
    out.flush();
    if (!out) throw std::runtime_error("cannot write '" + value + "' to " + file.string());
}

std::string readFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

// Runs a program (mkfs.vfat, mcopy, mmd) and waits for it; true when it exited with 0.
bool run(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error(command[0] + " cannot be started: " + std::strerror(error));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::uint16_t hexAfter(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos || at + key.size() + 4 > text.size()) return 0;
    return static_cast<std::uint16_t>(std::stoul(text.substr(at + key.size(), 4), nullptr, 16));
}

}  // namespace

const std::uint8_t kUsbReportDescriptor[27] = {0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0x15, 0x00,
                                               0x26, 0xff, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                               0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xc0};

UsbIdentity usbIdentityOf(const DeviceConfig& config) {
    std::string id = config.hardwareId;
    for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    UsbIdentity identity;
    try {
        identity.vendorId = hexAfter(id, "VID_");
        identity.productId = hexAfter(id, "PID_");
        if (id.find("REV_") != std::string::npos) identity.release = hexAfter(id, "REV_");
    } catch (const std::exception&) {
        identity.vendorId = 0;
    }
    if (identity.vendorId == 0 || identity.productId == 0)
        throw ConfigError(config.name + ": id=" + config.hardwareId + " names no VID_xxxx and PID_xxxx for USB");
    if (config.kind == DeviceKind::Board) {
        identity.manufacturer = "Microchip Technology Inc.";
        identity.product = "Tessaray Boot Board";
    } else {
        identity.manufacturer = "Lumaro";
        identity.product = identity.vendorId == 0x1FC9 && identity.productId == 0x0004 ? "Tessaray TC-200"
                         : identity.vendorId == 0x1FC9 && identity.productId == 0x0003 ? "Tessaray TC-100"
                                                                                        : "Tessaray Controller";
    }
    identity.serial = "TSIM-" + config.name;
    return identity;
}

UsbIdentity updateDiskIdentityOf(const UsbIdentity& controller) {
    UsbIdentity disk = controller;
    disk.productId = kUpdateDiskProductId;
    disk.product = controller.product + " Update Disk";
    return disk;
}

// ---------------------------------------------------------------------------------------- gadget

UsbGadget::UsbGadget(const std::string& name, int udcIndex, UsbIdentity identity)
    : dir_(kGadgets / ("tessaray-" + name)), udc_("dummy_udc." + std::to_string(udcIndex)), udcIndex_(udcIndex),
      identity_(std::move(identity)) {
    if (!fs::is_directory(kGadgets))
        throw std::runtime_error(kGadgets.string() + " is missing (configfs, libcomposite): cannot serve over USB");
    if (!fs::exists(fs::path("/sys/class/udc") / udc_))
        throw std::runtime_error("no UDC " + udc_ + " (modprobe dummy_hcd num=N): cannot serve over USB");
    std::error_code ec;
    if (fs::exists(dir_ / "UDC", ec)) {  // left by a simulator that was killed
        try {
            writeAttribute(dir_ / "UDC", "\n");
        } catch (const std::exception&) {
        }
        for (const char* function : {kHidFunction, kDiskFunction}) fs::remove(dir_ / "configs/c.1" / function, ec);
    }
    fs::create_directories(dir_ / "strings/0x409");
    fs::create_directories(dir_ / "configs/c.1/strings/0x409");
    writeAttribute(dir_ / "bcdUSB", "0x0200");
    writeAttribute(dir_ / "bcdDevice", hex4(identity_.release));
    writeAttribute(dir_ / "idVendor", hex4(identity_.vendorId));
    writeAttribute(dir_ / "strings/0x409/manufacturer", identity_.manufacturer);
    writeAttribute(dir_ / "strings/0x409/serialnumber", identity_.serial);
    writeAttribute(dir_ / "configs/c.1/strings/0x409/configuration", "Tessaray");
    writeAttribute(dir_ / "configs/c.1/MaxPower", "100");

    const fs::path hid = dir_ / "functions" / kHidFunction;
    if (!fs::exists(hid)) fs::create_directory(hid);
    writeAttribute(hid / "protocol", "0");
    writeAttribute(hid / "subclass", "0");
    writeAttribute(hid / "report_length", std::to_string(kUsbReportBytes));
    writeAttribute(hid / "report_desc",
                   std::string(reinterpret_cast<const char*>(kUsbReportDescriptor), sizeof kUsbReportDescriptor));
}

UsbGadget::~UsbGadget() {
    try {
        unbind();
    } catch (const std::exception&) {
    }
    std::error_code ec;
    fs::remove(dir_ / "functions" / kHidFunction, ec);
    fs::remove(dir_ / "functions" / kDiskFunction, ec);
    fs::remove(dir_ / "configs/c.1/strings/0x409", ec);
    fs::remove(dir_ / "configs/c.1", ec);
    fs::remove(dir_ / "strings/0x409", ec);
    fs::remove(dir_, ec);
}

void UsbGadget::setIdentity(std::uint16_t productId, const std::string& product) {
    writeAttribute(dir_ / "idProduct", hex4(productId));
    writeAttribute(dir_ / "strings/0x409/product", product);
    boundProductId_ = productId;
}

std::string UsbGadget::bindHid() {
    unbind();
    setIdentity(identity_.productId, identity_.product);
    fs::create_symlink(dir_ / "functions" / kHidFunction, dir_ / "configs/c.1" / kHidFunction);
    boundFunction_ = kHidFunction;
    writeAttribute(dir_ / "UDC", udc_);
    // The node is made when the function is bound: its numbers are in the function's "dev".
    const std::string numbers = readFirstLine(dir_ / "functions" / kHidFunction / "dev");
    for (int i = 0; i < 200; ++i) {
        std::ifstream uevent("/sys/dev/char/" + numbers + "/uevent");
        for (std::string line; std::getline(uevent, line);)
            if (line.rfind("DEVNAME=", 0) == 0) {
                const std::string node = "/dev/" + line.substr(8);
                if (fs::exists(node)) return node;
            }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("the HID function's node (" + numbers + ") did not appear");
}

void UsbGadget::bindMassStorage(const fs::path& image) {
    unbind();
    const UsbIdentity disk = updateDiskIdentityOf(identity_);
    setIdentity(disk.productId, disk.product);
    const fs::path function = dir_ / "functions" / kDiskFunction;
    if (!fs::exists(function)) fs::create_directory(function);
    writeAttribute(function / "stall", "1");
    writeAttribute(function / "lun.0/removable", "1");
    writeAttribute(function / "lun.0/ro", "0");
    // SCSI INQUIRY: vendor (8), product (16), revision (4).
    char inquiry[32];
    std::snprintf(inquiry, sizeof inquiry, "%-8.8s%-16.16s%04x", "Lumaro", "Update Disk", identity_.release);
    writeAttribute(function / "lun.0/inquiry_string", inquiry);
    writeAttribute(function / "lun.0/file", image.string());
    fs::create_symlink(function, dir_ / "configs/c.1" / kDiskFunction);
    boundFunction_ = kDiskFunction;
    writeAttribute(dir_ / "UDC", udc_);
}

void UsbGadget::unbind() {
    std::error_code ec;
    if (!readFirstLine(dir_ / "UDC").empty()) writeAttribute(dir_ / "UDC", "\n");
    if (boundFunction_ == kDiskFunction) {
        try {
            writeAttribute(dir_ / "functions" / kDiskFunction / "lun.0/file", "\n");
        } catch (const std::exception&) {
        }
    }
    for (const char* function : {kHidFunction, kDiskFunction}) fs::remove(dir_ / "configs/c.1" / function, ec);
    boundFunction_.clear();
}

fs::path UsbGadget::hostDevice() const {
    // dummy_hcd.N is the host side of dummy_udc.N: one root hub, one port, the gadget on it.
    std::error_code ec;
    const fs::path hcd = "/sys/devices/platform/dummy_hcd." + std::to_string(udcIndex_);
    for (const auto& entry : fs::directory_iterator(hcd, ec)) {
        const std::string bus = entry.path().filename().string();
        if (bus.rfind("usb", 0) != 0) continue;
        const fs::path device = entry.path() / (bus.substr(3) + "-1");
        if (fs::exists(device / "idProduct", ec)) return device;
    }
    return {};
}

bool UsbGadget::hostHasDevice() const {
    const fs::path device = hostDevice();
    if (device.empty() || boundFunction_.empty()) return false;
    const std::string product = readFirstLine(device / "idProduct");
    return !product.empty() && std::stoul(product, nullptr, 16) == boundProductId_;
}

std::string UsbGadget::hostPort() const {
    const fs::path device = hostDevice();
    return device.empty() ? std::string() : device.filename().string();
}

// ---------------------------------------------------------------------------------------- HID

UsbHidFunction::UsbHidFunction(EventLoop& loop, std::shared_ptr<UsbGadget> gadget, Callbacks callbacks)
    : loop_(loop), gadget_(std::move(gadget)), callbacks_(std::move(callbacks)) {}

UsbHidFunction::~UsbHidFunction() { disappear(); }

void UsbHidFunction::appear(const std::string& /*port*/) {
    if (present()) return;
    const std::string node = gadget_->bindHid();
    fd_ = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        gadget_->unbind();
        throw std::system_error(error, std::generic_category(), "cannot open " + node);
    }
    watchingOutput_ = false;
    loop_.add(fd_, EPOLLIN, [this](std::uint32_t events) {
        if (events & EPOLLOUT) flush();
        if (events & EPOLLIN && callbacks_.reportWaiting) callbacks_.reportWaiting();
    });
}

void UsbHidFunction::disappear() {
    if (fd_ < 0) return;
    // The node is closed before the function is unbound: f_hid must not be left with an open file.
    loop_.remove(fd_);
    ::close(fd_);
    fd_ = -1;
    waiting_.clear();
    gadget_->unbind();
}

void UsbHidFunction::watch(bool forOutput) {
    if (forOutput == watchingOutput_ || fd_ < 0) return;
    watchingOutput_ = forOutput;
    loop_.remove(fd_);
    loop_.add(fd_, forOutput ? EPOLLIN | EPOLLOUT : EPOLLIN, [this](std::uint32_t events) {
        if (events & EPOLLOUT) flush();
        if (events & EPOLLIN && callbacks_.reportWaiting) callbacks_.reportWaiting();
    });
}

std::optional<platform::Report> UsbHidFunction::takeReport() {
    if (fd_ < 0) return std::nullopt;
    std::uint8_t data[kUsbReportBytes + 1];
    const ssize_t got = ::read(fd_, data, sizeof data);
    if (got <= 0) return std::nullopt;
    platform::Report report{};
    if (got > kUsbReportBytes && callbacks_.protocolError) callbacks_.protocolError("an output report longer than 64 bytes");
    std::memcpy(report.data() + 1, data, static_cast<std::size_t>(std::min<ssize_t>(got, kUsbReportBytes)));
    return report;
}

void UsbHidFunction::sendToReaders(const platform::Report& report) {
    if (fd_ < 0) return;
    // A host that takes nothing (no program has the hidraw node open) gathers no stale pile.
    if (waiting_.size() >= 64) waiting_.pop_front();
    waiting_.push_back(report);
    flush();
}

void UsbHidFunction::flush() {
    while (!waiting_.empty()) {
        const ssize_t put = ::write(fd_, waiting_.front().data() + 1, kUsbReportBytes);
        if (put < 0 && (errno == EAGAIN || errno == EINTR)) break;
        waiting_.pop_front();  // written, or refused for good (not configured, shut down)
    }
    watch(!waiting_.empty());
}

// ---------------------------------------------------------------------------------------- disk

UsbUpdateDisk::UsbUpdateDisk(std::shared_ptr<UsbGadget> gadget, std::string firmware)
    : gadget_(std::move(gadget)), firmware_(std::move(firmware)) {}

UsbUpdateDisk::~UsbUpdateDisk() {
    try {
        remove(false);
    } catch (const std::exception&) {
    }
}

void UsbUpdateDisk::show(bool refusing, const std::string& /*port*/) {
    if (shown_) return;
    const fs::path folder = fs::temp_directory_path() / ("tessaray-sim-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    image_ = folder / (gadget_->identity().serial + ".img");
    const fs::path file = folder / "firmware.bin";
    fs::remove(image_);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(firmware_.data(), static_cast<std::streamsize>(firmware_.size()));
        if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
    }
    ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
    // 4 MiB, FAT12, as small bootloader disks are.
    if (!run({"mkfs.vfat", "-C", "-n", "TESSARAY", image_.string(), "4096"}))
        throw std::runtime_error("mkfs.vfat cannot make the update disk's image");
    if (!run({"mcopy", "-i", image_.string(), file.string(), "::firmware.bin"}))
        throw std::runtime_error("mcopy cannot put firmware.bin on the update disk");
    if (refusing && !run({"mmd", "-i", image_.string(), "::Upfirmware.bin"}))
        throw std::runtime_error("mmd cannot make the refusing disk's Upfirmware.bin folder");
    fs::remove(file);
    gadget_->bindMassStorage(image_);
    shown_ = true;
    seenByHost_ = false;
}

bool UsbUpdateDisk::stoppedByHost() {
    if (!shown_) return false;
    const bool there = gadget_->hostHasDevice();
    if (there) seenByHost_ = true;
    return seenByHost_ && !there;
}

bool UsbUpdateDisk::remove(bool takeFirmware) {
    if (!shown_) return false;
    gadget_->unbind();
    shown_ = false;
    bool taken = false;
    std::error_code ec;
    if (takeFirmware) {
        const fs::path out = image_.parent_path() / "Upfirmware.bin";
        fs::remove(out, ec);
        // mcopy refuses a folder of that name (a refusing disk's): nothing is taken then.
        if (run({"mcopy", "-n", "-i", image_.string(), "::Upfirmware.bin", out.string()}) && fs::is_regular_file(out, ec)) {
            std::ifstream in(out, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.bad()) {
                firmware_ = std::move(bytes);
                taken = true;
            }
        }
        fs::remove(out, ec);
    }
    fs::remove(image_, ec);
    fs::remove(image_.parent_path(), ec);
    return taken;
}

}  // namespace sim
