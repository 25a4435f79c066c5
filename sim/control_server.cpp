#include "control_server.h"

#include "unix_address.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr std::size_t kMaxLine = 4096;

}  // namespace

ControlServer::ControlServer(EventLoop& loop, std::string path, Execute execute)
    : loop_(loop), path_(std::move(path)), execute_(std::move(execute)) {
    const sockaddr_un address = unixAddress(path_);
    // A socket file left by a simulator that died is taken over; a live one is not.
    if (const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); probe >= 0) {
        const bool live = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        if (live) throw std::system_error(EADDRINUSE, std::generic_category(), "another simulator answers at " + path_);
    }
    ::unlink(path_.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 8) != 0) {
        const int error = errno;
        if (listenFd_ >= 0) ::close(listenFd_);
        throw std::system_error(error, std::generic_category(), "cannot listen on " + path_);
    }
    loop_.add(listenFd_, EPOLLIN, [this](std::uint32_t) { acceptPending(); });
}

ControlServer::~ControlServer() {
    while (!clients_.empty()) drop(clients_.back().fd);
    loop_.remove(listenFd_);
    ::close(listenFd_);
    ::unlink(path_.c_str());
}

void ControlServer::acceptPending() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        clients_.push_back(Client{fd, {}});
        loop_.add(fd, EPOLLIN, [this, fd](std::uint32_t) { onClientReady(fd); });
    }
}

void ControlServer::onClientReady(int fd) {
    char buffer[512];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (got <= 0) return drop(fd);
    auto client = [this, fd] {
        return std::find_if(clients_.begin(), clients_.end(), [fd](const Client& c) { return c.fd == fd; });
    };
    client()->pending.append(buffer, static_cast<std::size_t>(got));
    for (;;) {
        auto found = client();
        if (found == clients_.end()) return;
        const auto newline = found->pending.find('\n');
        if (newline == std::string::npos) {
            if (found->pending.size() > kMaxLine) drop(fd);
            return;
        }
        const std::string line = found->pending.substr(0, newline);
        found->pending.erase(0, newline + 1);
        // execute_ may end up destroying clients (quit); look the client up again afterwards.
        const std::string answer = execute_(line) + '\n';
        if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(answer.size()))
            return drop(fd);
    }
}

void ControlServer::drop(int fd) {
    loop_.remove(fd);
    ::close(fd);
    std::erase_if(clients_, [fd](const Client& c) { return c.fd == fd; });
}

}  // namespace sim
