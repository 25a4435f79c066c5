// Linux client of the virtual bus: hid/<name>.sock is a SOCK_SEQPACKET socket that carries one
// 65-byte report per message.
#include "platform/hid/hid_backends.h"
#include "platform/hid/hid_vbus_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::vbus {
namespace {

class SeqPacketTransport final : public Transport {
public:
    explicit SeqPacketTransport(int fd) : fd_(fd) {}
    ~SeqPacketTransport() override { ::close(fd_); }
    SeqPacketTransport(const SeqPacketTransport&) = delete;
    SeqPacketTransport& operator=(const SeqPacketTransport&) = delete;

    IoProgress send(const Report& report, OsError& error) override {
        for (;;) {
            const ssize_t sent = ::send(fd_, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return IoProgress::Pending;
            if (sent != static_cast<ssize_t>(report.size()))
                return failedWith(sent < 0 ? fromErrno(errno) : kErrorGenFailure, error);
            return IoProgress::Done;
        }
    }

    // A message goes whole or not at all.
    bool isMidReport() const override { return false; }

    IoProgress receive(Report& report, OsError& error) override {
        for (;;) {
            // One spare byte tells a longer message apart; such a message breaks the contract and is dropped.
            std::uint8_t message[kReportSize + 1];
            const ssize_t got = ::recv(fd_, message, sizeof message, MSG_DONTWAIT);
            if (got == static_cast<ssize_t>(kReportSize)) {
                std::copy_n(message, kReportSize, report.begin());
                return IoProgress::Done;
            }
            if (got == 0) return failedWith(kErrorDeviceNotConnected, error);  // the device closed us: it left
            if (got > 0) continue;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return IoProgress::Pending;
            return failedWith(fromErrno(errno), error);
        }
    }

    // A hang-up is left for the next send or receive to report.
    OsError wait(bool forSending, int timeoutMs) override {
        pollfd pfd{fd_, static_cast<short>(forSending ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) return fromErrno(errno);
        return kOk;
    }

private:
    int fd_;
};

}  // namespace

const char* endpointExtension() { return ".sock"; }

std::optional<std::string> endpointIdentity(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" +
           std::to_string(status.st_ctim.tv_sec) + "." + std::to_string(status.st_ctim.tv_nsec);
}

std::unique_ptr<Transport> connectEndpoint(const std::string& path, char access, OsError& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = kErrorInvalidParameter;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = fromErrno(errno);
        return nullptr;
    }
    // The smallest send buffer the kernel allows: a write then waits for the device to take its
    // reports, as a write to a real HID interface waits for its USB transfer, instead of piling up.
    const int sendBuffer = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, &access, 1, MSG_NOSIGNAL) != 1) {
        error = fromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    error = kOk;
    return std::make_unique<SeqPacketTransport>(fd);
}

}  // namespace platform::vbus
