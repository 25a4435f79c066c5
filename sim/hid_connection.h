// One connection a host opened on a HID interface of the bus: a Unix SOCK_SEQPACKET one, where a
// message is a report, or a TCP one for Windows clients, a byte stream taken in whole 65-byte
// reports. Either way the first thing the host sends is its access byte, and the device never
// waits on the connection.
#pragma once

#include "event_loop.h"
#include "platform/hid/hid.h"
#include "report_stream.h"

#include <functional>
#include <string_view>

namespace sim {

class HidConnection {
public:
    enum class Transport { Packets, Stream };
    enum class Received { Taken, Nothing, Closed };
    using ProtocolError = std::function<void(std::string_view why)>;

    // Takes fd over (non-blocking) and watches it in the loop, calling onReady with the events.
    // Throws std::system_error (fd closed then).
    HidConnection(EventLoop& loop, int fd, Transport transport, const ProtocolError& protocolError,
                  EventLoop::Handler onReady);
    ~HidConnection() { close(); }
    HidConnection(const HidConnection&) = delete;
    HidConnection& operator=(const HidConnection&) = delete;

    int fd() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    bool decided() const { return access_ != 0; }  // the access byte has come
    bool reads() const { return access_ == 'r' || access_ == 'b'; }
    bool writes() const { return access_ == 'w' || access_ == 'b'; }
    // Input may be waiting that has not been looked at.
    bool inputPending() const { return inputPending_; }
    void inputArrived() { inputPending_ = true; }

    // Takes the access byte once it has come; closes the connection when it is not r, w or b.
    void readAccess();
    // The next whole output report. Closes the connection at its end or on a protocol error.
    Received receive(platform::Report& report);
    // Hands an input report on without waiting, or loses it for this client when it does not fit.
    void send(const platform::Report& report);
    // Sends what a stream's socket could not take before; called when it has room again.
    void flush();
    void close();

private:
    Received receivePacket(platform::Report& report);
    Received receiveStream(platform::Report& report);

    EventLoop& loop_;
    int fd_;
    Transport transport_;
    const ProtocolError& protocolError_;
    char access_ = 0;  // 'r', 'w', 'b'; 0 until the access byte has come
    bool inputPending_ = true;
    ReportAssembler incoming_;  // streams only
    OutgoingReports outgoing_;  // streams only
};

}  // namespace sim
