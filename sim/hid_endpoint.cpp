#include "hid_endpoint.h"

#include "unix_address.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void throwErrno(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

void renameOrThrow(const fs::path& from, const fs::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) throwErrno("rename " + from.string());
}

}  // namespace

HidEndpoint::HidEndpoint(EventLoop& loop, fs::path hidDir, std::string name, std::string hardwareId,
                         Callbacks callbacks)
    : loop_(loop), hidDir_(std::move(hidDir)), name_(std::move(name)), hardwareId_(std::move(hardwareId)),
      callbacks_(std::move(callbacks)) {}

HidEndpoint::~HidEndpoint() { disappear(); }

fs::path HidEndpoint::file(std::string_view suffix) const { return hidDir_ / (name_ + std::string(suffix)); }

void HidEndpoint::appear() {
    if (present()) return;
    // Temporary names end in ".tmp", which a host never takes for a device.
    const fs::path idTemp = file(".id.tmp");
    {
        std::ofstream out(idTemp, std::ios::trunc);
        out << hardwareId_ << '\n';
        if (!out.flush()) throwErrno("cannot write " + idTemp.string());
    }
    renameOrThrow(idTemp, file(".id"));

    const fs::path sockTemp = file(".sock.tmp");
    const sockaddr_un address = unixAddress(sockTemp.string());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throwErrno("socket");
    ::unlink(sockTemp.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        throwErrno("cannot listen on " + sockTemp.string());
    }
    listenFd_ = fd;
    loop_.add(fd, EPOLLIN, [this](std::uint32_t) { acceptPending(true); });
    renameOrThrow(sockTemp, file(".sock"));
}

void HidEndpoint::disappear() {
    if (!present()) return;
    ::unlink(file(".sock").c_str());
    ::unlink(file(".id").c_str());
    for (Connection& connection : connections_) close(connection);
    connections_.clear();
    loop_.remove(listenFd_);
    ::close(listenFd_);
    listenFd_ = -1;
}

void HidEndpoint::acceptPending(bool notify) {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN: all taken; anything else concerns only that one client
        connections_.push_back(Connection{fd});
        // Edge-triggered: a writer's reports may stay queued in its socket (the device is busy or
        // takes one per frame) without waking the loop over and over.
        loop_.add(fd, EPOLLIN | EPOLLRDHUP | EPOLLET, [this, fd](std::uint32_t) { onConnectionReady(fd, true); });
        onConnectionReady(fd, notify);
    }
}

void HidEndpoint::onConnectionReady(int fd, bool notify) {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [fd](const Connection& c) { return c.fd == fd; });
    if (found == connections_.end()) return;
    Connection& connection = *found;
    connection.inputPending = true;
    if (connection.access == 0) {
        char access = 0;
        const ssize_t got = ::recv(fd, &access, 1, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (got == 1 && (access == 'r' || access == 'w' || access == 'b')) {
            connection.access = access;
        } else {
            if (got > 0) callbacks_.protocolError("the first message is not one access byte r, w or b");
            close(connection);
        }
    }
    // A handle that only reads has no business writing: whatever it sends is dropped here and now.
    if (connection.fd >= 0 && connection.access == 'r') {
        platform::Report ignored;
        while (receive(connection, ignored) == Message::Taken)
            callbacks_.protocolError("an output report on a handle opened for reading");
    }
    dropClosed();
    if (notify && mayHaveReport()) callbacks_.reportWaiting();
}

bool HidEndpoint::mayHaveReport() const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [](const Connection& c) { return c.writes() && c.inputPending; });
}

std::optional<platform::Report> HidEndpoint::takeReport() {
    // A handle opened before the host sent this request must see its answer, even when the loop
    // has not yet come round to the new connection or to the access byte it sent.
    acceptPending(false);
    std::vector<int> undecided;
    for (const Connection& connection : connections_)
        if (connection.access == 0) undecided.push_back(connection.fd);
    for (int fd : undecided) onConnectionReady(fd, false);
    // Oldest handle first: a host's writes reach a device in the order they were made, so what an
    // earlier handle still has queued (a program packet) goes before a newer handle's requests.
    std::optional<platform::Report> taken;
    for (Connection& connection : connections_) {
        if (!connection.writes()) continue;
        platform::Report report;
        while (connection.inputPending && !taken) {
            if (receive(connection, report) == Message::Taken) taken = report;
        }
        if (taken) break;
    }
    dropClosed();
    return taken;
}

HidEndpoint::Message HidEndpoint::receive(Connection& connection, platform::Report& report) {
    // One spare byte and MSG_TRUNC tell a message of the wrong length apart.
    std::uint8_t message[platform::kReportSize + 1];
    for (;;) {
        const ssize_t got = ::recv(connection.fd, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            connection.inputPending = false;
            return Message::Nothing;
        }
        if (got == static_cast<ssize_t>(platform::kReportSize)) {
            std::copy_n(message, platform::kReportSize, report.begin());
            return Message::Taken;
        }
        if (got > 0)
            callbacks_.protocolError("a message of " + std::to_string(got) + " bytes instead of " +
                                     std::to_string(platform::kReportSize));
        close(connection);  // end of file, a broken connection or a message of the wrong length
        return Message::Closed;
    }
}

void HidEndpoint::sendToReaders(const platform::Report& report) {
    for (Connection& connection : connections_) {
        if (!connection.reads()) continue;
        const ssize_t sent = ::send(connection.fd, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        // A full buffer loses the report for this client only; a client that went away is closed.
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) close(connection);
    }
    dropClosed();
}

void HidEndpoint::close(Connection& connection) {
    if (connection.fd < 0) return;
    loop_.remove(connection.fd);
    ::close(connection.fd);
    connection.fd = -1;
    connection.access = 0;
    connection.inputPending = false;
}

void HidEndpoint::dropClosed() {
    std::erase_if(connections_, [](const Connection& c) { return c.fd < 0; });
}

}  // namespace sim
