// A virtual bus made by the test itself, for tests that stand in for a device (or a drive) more
// simply than the simulator would: a fresh folder that LUMARO_VBUS_DIR names while it lives, and
// HID interfaces whose device end the test holds. A Linux build serves an interface on a Unix
// socket, a Windows build on a loopback TCP port, as the bus's clients on each system expect.
#pragma once

#include "platform/hid/hid.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace bustest {

// <temporary folder>/vbus-<random digits>/<name>, with an empty hid/ folder; removed again with everything in it.
class TemporaryBus {
public:
    explicit TemporaryBus(const std::string& name = "bus");
    ~TemporaryBus();
    TemporaryBus(const TemporaryBus&) = delete;
    TemporaryBus& operator=(const TemporaryBus&) = delete;

    std::filesystem::path top() const { return top_; }  // the fresh folder the bus lies in
    std::filesystem::path dir() const { return dir_; }
    std::filesystem::path hid() const { return dir_ / "hid"; }

private:
    std::filesystem::path top_;
    std::filesystem::path dir_;
};

// The device's end of one client connection; closed when it goes.
class DeviceEnd {
public:
    DeviceEnd() = default;
    explicit DeviceEnd(std::intptr_t socket) : socket_(socket) {}
    ~DeviceEnd() { close(); }
    DeviceEnd(DeviceEnd&& other) noexcept : socket_(other.socket_) { other.socket_ = kClosed; }
    DeviceEnd& operator=(DeviceEnd&& other) noexcept;
    DeviceEnd(const DeviceEnd&) = delete;
    DeviceEnd& operator=(const DeviceEnd&) = delete;

    bool isOpen() const { return socket_ != kClosed; }
    // Sends the bytes as one message: a report, or something else for tests of broken devices.
    bool send(std::span<const std::uint8_t> bytes) const;
    // The next whole report from the client; nothing when none came within timeoutMs (0: only one
    // already there) or the client has gone.
    std::optional<platform::Report> receive(int timeoutMs) const;
    void close();

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t socket_ = kClosed;
};

// hid/<name>.id with the given hardware-ID lines, and the interface's endpoint listening.
class ListeningInterface {
public:
    ListeningInterface(const TemporaryBus& bus, const std::string& name, const std::string& ids);
    ~ListeningInterface();
    ListeningInterface(const ListeningInterface&) = delete;
    ListeningInterface& operator=(const ListeningInterface&) = delete;

    // The interface path the bus's listing gives for it: its endpoint file.
    std::string path() const { return endpointPath_.string(); }

    // The device end of the next connection; access receives the byte the client opened it with.
    DeviceEnd accept(char& access) const;

private:
    std::filesystem::path endpointPath_;
    std::intptr_t listener_ = -1;
};

}  // namespace bustest
