// The device side of one HID interface on the virtual bus: hid/<name>.port (the USB port, when
// known), hid/<name>.id, hid/<name>.sock for Linux hosts and hid/<name>.tcp (a loopback TCP port)
// for Windows hosts, the connections the hosts open on it, and the 65-byte reports that cross them.
#pragma once

#include "event_loop.h"
#include "hid_connection.h"
#include "platform/hid/hid.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The device side of a HID interface, whatever carries it: the virtual bus (HidEndpoint) or a USB
// gadget function in a Linux kernel (UsbHidFunction, usb_gadget.h).
class HidSide {
public:
    struct Callbacks {
        std::function<void()> reportWaiting;                     // a connection may hold output reports
        std::function<void(std::string_view why)> protocolError;  // a connection broke the contract
    };
    virtual ~HidSide() = default;
    virtual void appear(const std::string& port) = 0;
    virtual void disappear() = 0;
    virtual bool present() const = 0;
    virtual bool mayHaveReport() const = 0;
    virtual std::optional<platform::Report> takeReport() = 0;
    virtual void sendToReaders(const platform::Report& report) = 0;
};

class HidEndpoint final : public HidSide {
public:

    HidEndpoint(EventLoop& loop, std::filesystem::path hidDir, std::string name, std::string hardwareId,
                Callbacks callbacks);
    ~HidEndpoint() override;
    HidEndpoint(const HidEndpoint&) = delete;
    HidEndpoint& operator=(const HidEndpoint&) = delete;

    // Appears on the bus on port: .port first (none when port is empty), then .id, then .tcp and
    // .sock, each listening already. Throws std::system_error.
    void appear(const std::string& port) override;
    // Leaves the bus: .tcp, .sock, .id, then .port are removed, then every connection is closed.
    void disappear() override;
    bool present() const override { return unixListenFd_ >= 0; }

    // True when some connection that may write has input not yet looked at.
    bool mayHaveReport() const override;
    // The next output report, taking the writing connections in turn; nothing when none is waiting.
    std::optional<platform::Report> takeReport() override;
    // Sends an input report to every connection that reads; never waits for a slow one.
    void sendToReaders(const platform::Report& report) override;

private:
    void listenOnUnixSocket();
    void listenOnLoopback();
    // notify: tell the device when reports may be waiting (not while it is taking one already).
    // Accepts waiting connections and reads the access bytes that have come, before any report moves.
    void takeInWaitingConnections();
    void acceptPending(int listenFd, HidConnection::Transport transport, bool notify);
    void onConnectionReady(int fd, std::uint32_t events, bool notify);
    void dropClosed();
    std::filesystem::path file(std::string_view suffix) const;

    EventLoop& loop_;
    std::filesystem::path hidDir_;
    std::string name_;
    std::string hardwareId_;
    Callbacks callbacks_;
    int unixListenFd_ = -1;
    int tcpListenFd_ = -1;
    bool yieldAfterTakingIn_;  // TESSARAY_SIM_YIELD_AFTER_ACCEPT set: a stress test's wider gap
    std::vector<std::unique_ptr<HidConnection>> connections_;  // oldest first
};

}  // namespace sim
