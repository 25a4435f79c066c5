// The device side of one HID interface on the virtual bus: hid/<name>.id and hid/<name>.sock,
// the connections the host opens on it, and the 65-byte reports that cross them.
#pragma once

#include "event_loop.h"
#include "platform/hid.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class HidEndpoint {
public:
    struct Callbacks {
        std::function<void()> reportWaiting;                     // a connection may hold output reports
        std::function<void(std::string_view why)> protocolError;  // a connection broke the contract
    };

    HidEndpoint(EventLoop& loop, std::filesystem::path hidDir, std::string name, std::string hardwareId,
                Callbacks callbacks);
    ~HidEndpoint();
    HidEndpoint(const HidEndpoint&) = delete;
    HidEndpoint& operator=(const HidEndpoint&) = delete;

    // Appears on the bus: .id first, then a .sock that is already listening. Throws std::system_error.
    void appear();
    // Leaves the bus: .sock, then .id are removed, then every connection is closed.
    void disappear();
    bool present() const { return listenFd_ >= 0; }

    // True when some connection that may write has input not yet looked at.
    bool mayHaveReport() const;
    // The next output report, taking the writing connections in turn; nothing when none is waiting.
    std::optional<platform::Report> takeReport();
    // Sends an input report to every connection that reads; never waits for a slow one.
    void sendToReaders(const platform::Report& report);

private:
    struct Connection {
        int fd = -1;
        char access = 0;  // 'r', 'w', 'b'; 0 until the client's first message
        bool inputPending = true;
        bool reads() const { return access == 'r' || access == 'b'; }
        bool writes() const { return access == 'w' || access == 'b'; }
    };
    enum class Message { Taken, Nothing, Closed };

    // notify: tell the device when reports may be waiting (not while it is taking one already).
    void acceptPending(bool notify);
    void onConnectionReady(int fd, bool notify);
    Message receive(Connection& connection, platform::Report& report);
    void close(Connection& connection);
    void dropClosed();
    std::filesystem::path file(std::string_view suffix) const;

    EventLoop& loop_;
    std::filesystem::path hidDir_;
    std::string name_;
    std::string hardwareId_;
    Callbacks callbacks_;
    int listenFd_ = -1;
    std::vector<Connection> connections_;
};

}  // namespace sim
