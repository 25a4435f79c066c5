#include "sim_bus_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace simtest {

BusClient::BusClient(const std::string& busDir, const std::string& name, std::string_view access) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = busDir + "/hid/" + name + ".sock";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (!access.empty() && !sendBytes(access.data(), access.size()))) {
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
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return std::nullopt;
    Report report;
    if (::recv(fd_, report.data(), report.size(), MSG_DONTWAIT) != static_cast<ssize_t>(report.size()))
        return std::nullopt;
    return report;
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
