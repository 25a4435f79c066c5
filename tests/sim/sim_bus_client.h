// A host's end of one HID interface on the virtual bus, in raw sockets, for the simulator's tests.
#pragma once

#include "platform/hid/hid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using platform::Report;

// How the host reaches the interface: its Unix socket (hid/<name>.sock, a message per report), or
// as a Windows host does, the loopback TCP port in hid/<name>.tcp (a stream of reports).
enum class Transport { Unix, Tcp };

class BusClient {
public:
    // Connects and sends the access byte ('r', 'w', 'b'); an empty access sends none. A TCP
    // client sends each write at once (TCP_NODELAY), so that pieces stay pieces.
    BusClient(const std::string& busDir, const std::string& name, std::string_view access = "b",
              Transport transport = Transport::Unix);
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool sendBytes(const void* data, std::size_t size);
    bool send(const Report& report) { return sendBytes(report.data(), report.size()); }
    // The next input report within timeoutMs; nothing on time-out or end of file.
    std::optional<Report> receive(int timeoutMs = 2000);
    // The bytes that arrive until none has come for quietMs (a stream may hold part of a report).
    std::vector<std::uint8_t> receiveUntilQuiet(int quietMs);
    // True when the device closed the connection within timeoutMs (reports still queued are skipped).
    bool seesEndOfFile(int timeoutMs = 2000);

private:
    int fd_ = -1;
    Transport transport_;
};

// A bootloader request: command byte, address at 2..5, count at 6, data right-aligned.
Report bootRequest(std::uint8_t command, std::uint32_t address = 0, std::uint8_t count = 0,
                   const std::vector<std::uint8_t>& data = {});

}  // namespace simtest
