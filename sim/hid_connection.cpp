#include "hid_connection.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

std::uint32_t watchedEvents(HidConnection::Transport transport) {
    // Edge-triggered: a writer's reports may stay queued in its socket (the device is busy or takes
    // one per frame) without waking the loop over and over. A stream is also watched for room to
    // finish the reports its socket could not take at once.
    const std::uint32_t input = EPOLLIN | EPOLLRDHUP | EPOLLET;
    return transport == HidConnection::Transport::Stream ? input | EPOLLOUT : input;
}

}  // namespace

HidConnection::HidConnection(EventLoop& loop, int fd, Transport transport, const ProtocolError& protocolError,
                             EventLoop::Handler onReady)
    : loop_(loop), fd_(fd), transport_(transport), protocolError_(protocolError) {
    try {
        loop_.add(fd_, watchedEvents(transport_), std::move(onReady));
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

void HidConnection::readAccess() {
    if (!open() || decided()) return;
    char access = 0;
    // On a Unix socket MSG_TRUNC tells a longer first message apart; on a stream the byte after it
    // already belongs to the first report.
    const int flags = MSG_DONTWAIT | (transport_ == Transport::Packets ? MSG_TRUNC : 0);
    const ssize_t got = ::recv(fd_, &access, 1, flags);
    if (got < 0 && (wouldBlock() || errno == EINTR)) return;
    if (got == 1 && (access == 'r' || access == 'w' || access == 'b')) {
        access_ = access;
        return;
    }
    if (got > 0) protocolError_("the first message is not one access byte r, w or b");
    close();
}

HidConnection::Received HidConnection::receive(platform::Report& report) {
    if (!open()) return Received::Closed;
    return transport_ == Transport::Packets ? receivePacket(report) : receiveStream(report);
}

HidConnection::Received HidConnection::receivePacket(platform::Report& report) {
    // One spare byte and MSG_TRUNC tell a message of the wrong length apart.
    std::uint8_t message[platform::kReportSize + 1];
    for (;;) {
        const ssize_t got = ::recv(fd_, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && wouldBlock()) {
            inputPending_ = false;
            return Received::Nothing;
        }
        if (got == static_cast<ssize_t>(platform::kReportSize)) {
            std::copy_n(message, platform::kReportSize, report.begin());
            return Received::Taken;
        }
        if (got > 0)
            protocolError_("a message of " + std::to_string(got) + " bytes instead of " +
                           std::to_string(platform::kReportSize));
        close();  // end of file, a broken connection or a message of the wrong length
        return Received::Closed;
    }
}

HidConnection::Received HidConnection::receiveStream(platform::Report& report) {
    for (;;) {
        if (incoming_.complete()) {
            report = incoming_.take();
            return Received::Taken;
        }
        const auto space = incoming_.space();
        const ssize_t got = ::recv(fd_, space.data(), space.size(), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && wouldBlock()) {
            inputPending_ = false;
            return Received::Nothing;
        }
        if (got > 0) {
            incoming_.filled(static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0 && !incoming_.empty()) protocolError_("the stream ended inside a report");
        close();
        return Received::Closed;
    }
}

void HidConnection::send(const platform::Report& report) {
    if (!open()) return;
    if (transport_ == Transport::Stream) {
        // The stream never carries part of a report followed by another one: a report joins the
        // queue only whole, behind the rest of any the socket took only in part, and a full queue
        // loses the new report for this client.
        if (outgoing_.push(report)) flush();
        return;
    }
    const ssize_t sent = ::send(fd_, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    // A full buffer loses the report for this client only; a client that went away is closed.
    if (sent < 0 && !wouldBlock() && errno != EINTR) close();
}

void HidConnection::flush() {
    while (open() && !outgoing_.empty()) {
        const auto bytes = outgoing_.unsent();
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            outgoing_.sent(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && wouldBlock()) {
            return;  // the rest goes when the socket has room (EPOLLOUT)
        } else {
            close();
        }
    }
}

void HidConnection::close() {
    if (fd_ < 0) return;
    loop_.remove(fd_);
    if (transport_ == Transport::Stream) {
        // Input left unread would turn the close into a reset; the host is to see end of stream.
        std::uint8_t unread[4096];
        for (int round = 0; round < 16 && ::recv(fd_, unread, sizeof unread, MSG_DONTWAIT) > 0; ++round) {
        }
    }
    ::close(fd_);
    fd_ = -1;
    access_ = 0;
    inputPending_ = false;
}

}  // namespace sim
