// Interfaces on Unix sockets: one message per report.
#include "temporary_bus.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bustest {

bool DeviceEnd::send(std::span<const std::uint8_t> bytes) const {
    const auto sent = ::send(static_cast<int>(socket_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(bytes.size());
}

std::optional<platform::Report> DeviceEnd::receive(int timeoutMs) const {
    pollfd pfd{static_cast<int>(socket_), POLLIN, 0};
    platform::Report report{};
    if (::poll(&pfd, 1, timeoutMs) != 1 || ::recv(pfd.fd, report.data(), report.size(), MSG_DONTWAIT) != 65)
        return std::nullopt;
    return report;
}

void DeviceEnd::close() {
    if (socket_ != kClosed) ::close(static_cast<int>(socket_));
    socket_ = kClosed;
}

ListeningInterface::ListeningInterface(const TemporaryBus& bus, const std::string& name, const std::string& ids)
    : endpointPath_(bus.hid() / (name + ".sock")) {
    std::ofstream(bus.hid() / (name + ".id")) << ids;
    listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", endpointPath_.c_str());
    const int fd = static_cast<int>(listener_);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)
        throw std::runtime_error("cannot listen on " + endpointPath_.string());
}

ListeningInterface::~ListeningInterface() { ::close(static_cast<int>(listener_)); }

DeviceEnd ListeningInterface::accept(char& access) const {
    const int fd = ::accept(static_cast<int>(listener_), nullptr, nullptr);
    if (fd < 0 || ::recv(fd, &access, 1, 0) != 1) access = 0;
    return DeviceEnd(fd);
}

}  // namespace bustest
