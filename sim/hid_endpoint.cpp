#include "hid_endpoint.h"

#include "bus_file.h"
#include "unix_address.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <sched.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

namespace fs = std::filesystem;

// About as many reports as a Unix socket's buffer holds (a few hundred): a client that stops
// reading does not gather thousands of stale ones.
constexpr int kStreamSendBufferBytes = 16 * 1024;

[[noreturn]] void throwErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Binds fd (a fresh non-blocking socket) and listens; closes it and throws on failure.
int listenOrThrow(int fd, const sockaddr* address, socklen_t size, const std::string& where) {
    if (fd < 0) throwErrno(errno, "socket");
    if (::bind(fd, address, size) != 0 || ::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        throwErrno(error, "cannot listen on " + where);
    }
    return fd;
}

void closeListener(EventLoop& loop, int& fd) {
    if (fd < 0) return;
    loop.remove(fd);
    ::close(fd);
    fd = -1;
}

}  // namespace

HidEndpoint::HidEndpoint(EventLoop& loop, fs::path hidDir, std::string name, std::string hardwareId,
                         Callbacks callbacks)
    : loop_(loop), hidDir_(std::move(hidDir)), name_(std::move(name)), hardwareId_(std::move(hardwareId)),
      callbacks_(std::move(callbacks)), yieldAfterTakingIn_(std::getenv("TESSARAY_SIM_YIELD_AFTER_ACCEPT") != nullptr) {}

HidEndpoint::~HidEndpoint() { disappear(); }

fs::path HidEndpoint::file(std::string_view suffix) const { return hidDir_ / (name_ + std::string(suffix)); }

void HidEndpoint::appear(const std::string& port) {
    if (present()) return;
    try {
        // A host that sees the .id finds the port beside it; a port file left over from another
        // appearance does not stand for an unknown port.
        if (port.empty()) ::unlink(file(".port").c_str());
        else writeBusFile(file(".port"), port + '\n');
        writeBusFile(file(".id"), hardwareId_ + '\n');
        listenOnLoopback();
        listenOnUnixSocket();
    } catch (...) {
        // Not on the bus at all rather than half of it.
        ::unlink(file(".tcp").c_str());
        ::unlink(file(".sock.tmp").c_str());
        ::unlink(file(".id").c_str());
        ::unlink(file(".port").c_str());
        closeListener(loop_, tcpListenFd_);
        closeListener(loop_, unixListenFd_);
        throw;
    }
}

// Windows hosts have no Unix sockets: they read the port from .tcp, which is in place before .sock.
void HidEndpoint::listenOnLoopback() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    const int fd = listenOrThrow(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0),
                                 reinterpret_cast<const sockaddr*>(&address), sizeof address, "127.0.0.1");
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        const int error = errno;
        ::close(fd);
        throwErrno(error, "getsockname");
    }
    tcpListenFd_ = fd;
    loop_.add(fd, EPOLLIN, [this](std::uint32_t) { acceptPending(tcpListenFd_, HidConnection::Transport::Stream, true); });
    writeBusFile(file(".tcp"), std::to_string(ntohs(address.sin_port)) + '\n');
}

// Bound and listening under a temporary name, so that a .sock is ready to accept when it is seen.
void HidEndpoint::listenOnUnixSocket() {
    const fs::path sockTemp = file(".sock.tmp");
    const sockaddr_un address = unixAddress(sockTemp.string());
    ::unlink(sockTemp.c_str());
    const int fd = listenOrThrow(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0),
                                 reinterpret_cast<const sockaddr*>(&address), sizeof address, sockTemp.string());
    unixListenFd_ = fd;
    loop_.add(fd, EPOLLIN, [this](std::uint32_t) { acceptPending(unixListenFd_, HidConnection::Transport::Packets, true); });
    if (std::rename(sockTemp.c_str(), file(".sock").c_str()) != 0) throwErrno(errno, "cannot rename " + sockTemp.string());
}

void HidEndpoint::disappear() {
    if (!present()) return;
    ::unlink(file(".tcp").c_str());
    ::unlink(file(".sock").c_str());
    ::unlink(file(".id").c_str());
    ::unlink(file(".port").c_str());
    closeListener(loop_, tcpListenFd_);
    closeListener(loop_, unixListenFd_);
    connections_.clear();  // each closes itself
}

void HidEndpoint::acceptPending(int listenFd, HidConnection::Transport transport, bool notify) {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN: all taken; anything else concerns only that one client
        if (transport == HidConnection::Transport::Stream) {
            // Reports are small and each is wanted at once.
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kStreamSendBufferBytes, sizeof kStreamSendBufferBytes);
        }
        connections_.push_back(std::make_unique<HidConnection>(
            loop_, fd, transport, callbacks_.protocolError,
            [this, fd](std::uint32_t events) { onConnectionReady(fd, events, true); }));
        onConnectionReady(fd, EPOLLIN, notify);
    }
}

void HidEndpoint::onConnectionReady(int fd, std::uint32_t events, bool notify) {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [fd](const auto& c) { return c->fd() == fd; });
    if (found == connections_.end()) return;
    HidConnection& connection = **found;
    if (events & EPOLLOUT) connection.flush();
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        connection.inputArrived();
        connection.readAccess();
        // A handle that only reads has no business writing: whatever it sends is dropped here and now.
        if (connection.decided() && !connection.writes()) {
            platform::Report ignored;
            while (connection.receive(ignored) == HidConnection::Received::Taken)
                callbacks_.protocolError("an output report on a handle opened for reading");
        }
    }
    dropClosed();
    if (notify && mayHaveReport()) callbacks_.reportWaiting();
}

bool HidEndpoint::mayHaveReport() const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [](const auto& c) { return c->writes() && c->inputPending(); });
}

// A HID handle queues input from the moment it is open: a host that opens its read handle and at
// once writes a request on another must find the answer there, even when the loop has not yet come
// round to the new connection or to the access byte it sent.
void HidEndpoint::takeInWaitingConnections() {
    if (!present()) return;
    acceptPending(unixListenFd_, HidConnection::Transport::Packets, false);
    acceptPending(tcpListenFd_, HidConnection::Transport::Stream, false);
    std::vector<int> undecided;
    for (const auto& connection : connections_)
        if (!connection->decided()) undecided.push_back(connection->fd());
    for (int fd : undecided) onConnectionReady(fd, EPOLLIN, false);
}

std::optional<platform::Report> HidEndpoint::takeReport() {
    takeInWaitingConnections();
    // Widens the gap between taking in connections and taking the request, where a host's new
    // read handle used to miss its answer, for the tests that look for that.
    if (yieldAfterTakingIn_) ::sched_yield();
    // Oldest handle first: a host's writes reach a device in the order they were made, so what an
    // earlier handle still has queued (a program packet) goes before a newer handle's requests.
    std::optional<platform::Report> taken;
    for (const auto& connection : connections_) {
        if (!connection->writes()) continue;
        platform::Report report;
        while (connection->inputPending() && !taken) {
            if (connection->receive(report) == HidConnection::Received::Taken) taken = report;
        }
        if (taken) break;
    }
    dropClosed();
    return taken;
}

void HidEndpoint::sendToReaders(const platform::Report& report) {
    // Handles opened since the request was taken count too: the answer may go out frames later.
    takeInWaitingConnections();
    for (const auto& connection : connections_)
        if (connection->reads()) connection->send(report);
    dropClosed();
}

void HidEndpoint::dropClosed() {
    std::erase_if(connections_, [](const auto& c) { return !c->open(); });
}

}  // namespace sim
