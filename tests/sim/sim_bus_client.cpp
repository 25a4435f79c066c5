#include "sim_bus_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace simtest {
namespace {

int connectUnix(const std::string& busDir, const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = busDir + "/hid/" + name + ".sock";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

int connectTcp(const std::string& busDir, const std::string& name) {
    int port = 0;
    std::ifstream(busDir + "/hid/" + name + ".tcp") >> port;
    if (port <= 0 || port > 65535) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

}  // namespace

BusClient::BusClient(const std::string& busDir, const std::string& name, std::string_view access,
                     Transport transport)
    : fd_(transport == Transport::Tcp ? connectTcp(busDir, name) : connectUnix(busDir, name)), transport_(transport) {
    if (fd_ >= 0 && !access.empty() && !sendBytes(access.data(), access.size())) {
        ::close(fd_);
        fd_ = -1;
    }
}

BusClient::~BusClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool BusClient::sendBytes(const void* data, std::size_t size) {
    return ::send(fd_, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

std::optional<Report> BusClient::receive(int timeoutMs) {
    Report report;
    if (transport_ == Transport::Unix) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) return std::nullopt;
        if (::recv(fd_, report.data(), report.size(), MSG_DONTWAIT) != static_cast<ssize_t>(report.size()))
            return std::nullopt;
        return report;
    }
    // A stream: gather the report from whatever pieces it comes in.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t gathered = 0;
    while (gathered < report.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        const ssize_t got = ::recv(fd_, report.data() + gathered, report.size() - gathered, MSG_DONTWAIT);
        if (got <= 0) return std::nullopt;
        gathered += static_cast<std::size_t>(got);
    }
    return report;
}

std::vector<std::uint8_t> BusClient::receiveUntilQuiet(int quietMs) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, quietMs) <= 0) return bytes;
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0) return bytes;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

bool BusClient::seesEndOfFile(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) continue;
        Report report;
        const ssize_t got = ::recv(fd_, report.data(), report.size(), MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno == ECONNRESET)) return true;
    }
    return false;
}

Report bootRequest(std::uint8_t command, std::uint32_t address, std::uint8_t count,
                   const std::vector<std::uint8_t>& data) {
    Report report{};
    report[1] = command;
    for (int i = 0; i < 4; ++i) report[2 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    report[6] = count;
    std::copy(data.begin(), data.end(), report.end() - static_cast<std::ptrdiff_t>(data.size()));
    return report;
}

}  // namespace simtest
