// Interfaces on loopback TCP ports, as the bus serves Windows clients: a stream of whole reports.
#include "temporary_bus.h"

#include <winsock2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace bustest {
namespace {

SOCKET socketOf(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Waits at most timeoutMs for the socket to become readable (data, or its end).
bool readable(SOCKET socket, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &limit) == 1;
}

}  // namespace

bool DeviceEnd::send(std::span<const std::uint8_t> bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int now = ::send(socketOf(socket_), reinterpret_cast<const char*>(bytes.data() + sent),
                               static_cast<int>(bytes.size() - sent), 0);
        if (now <= 0) return false;
        sent += static_cast<std::size_t>(now);
    }
    return true;
}

// TCP keeps no message boundaries: a report is taken only once all of it has arrived, so that one
// that comes in parts is not lost at a time limit.
std::optional<platform::Report> DeviceEnd::receive(int timeoutMs) const {
    const SOCKET socket = socketOf(socket_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    platform::Report report{};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!readable(socket, static_cast<int>(std::max<std::int64_t>(left.count(), 0)))) return std::nullopt;
        const int waiting = ::recv(socket, reinterpret_cast<char*>(report.data()), static_cast<int>(report.size()), MSG_PEEK);
        if (waiting <= 0) return std::nullopt;  // the client has gone
        if (waiting == static_cast<int>(report.size())) break;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        ::Sleep(1);
    }
    ::recv(socket, reinterpret_cast<char*>(report.data()), static_cast<int>(report.size()), 0);
    return report;
}

void DeviceEnd::close() {
    if (socket_ != kClosed) ::closesocket(socketOf(socket_));
    socket_ = kClosed;
}

ListeningInterface::ListeningInterface(const TemporaryBus& bus, const std::string& name, const std::string& ids)
    : endpointPath_(bus.hid() / (name + ".tcp")) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("Winsock did not start");
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    listener_ = static_cast<std::intptr_t>(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot listen for " + endpointPath_.string());
    std::ofstream(bus.hid() / (name + ".id")) << ids;
    // The port file appears whole, as the bus's devices make it.
    const std::filesystem::path partial = bus.hid() / (name + ".tcp-partial");
    std::ofstream(partial) << ntohs(address.sin_port) << "\n";
    std::filesystem::rename(partial, endpointPath_);
}

ListeningInterface::~ListeningInterface() {
    ::closesocket(socketOf(listener_));
    ::WSACleanup();
}

DeviceEnd ListeningInterface::accept(char& access) const {
    const SOCKET connection = ::accept(socketOf(listener_), nullptr, nullptr);
    if (connection == INVALID_SOCKET || ::recv(connection, &access, 1, 0) != 1) access = 0;
    return DeviceEnd(static_cast<std::intptr_t>(connection));
}

}  // namespace bustest
