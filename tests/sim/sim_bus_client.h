// A host's end of one HID interface on the virtual bus, in raw sockets, for the simulator's tests.
#pragma once

#include "platform/hid.h"

#include <optional>
#include <string>

namespace simtest {

using platform::Report;

class BusClient {
public:
    // Connects to hid/<name>.sock of the bus and sends the access byte ('r', 'w', 'b'); an empty
    // access sends none.
    BusClient(const std::string& busDir, const std::string& name, std::string_view access = "b");
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool sendBytes(const void* data, std::size_t size);
    bool send(const Report& report) { return sendBytes(report.data(), report.size()); }
    // The next input report within timeoutMs; nothing on time-out or end of file.
    std::optional<Report> receive(int timeoutMs = 2000);
    // True when the device closed the connection within timeoutMs (reports still queued are skipped).
    bool seesEndOfFile(int timeoutMs = 2000);

private:
    int fd_ = -1;
};

// A bootloader request: command byte, address at 2..5, count at 6, data right-aligned.
Report bootRequest(std::uint8_t command, std::uint32_t address = 0, std::uint8_t count = 0,
                   const std::vector<std::uint8_t>& data = {});

}  // namespace simtest
