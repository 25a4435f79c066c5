// Windows client of the virtual bus: hid/<name>.tcp names a loopback TCP port that carries the same
// conversation as the Unix socket, as a stream of whole 65-byte reports.
#include "platform/hid/hid_backends.h"
#include "platform/hid/hid_vbus_transport.h"
#include "platform/core/utf8_path.h"

#include <winsock2.h>
#include <windows.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

#include <fstream>
#include <mutex>
#include <string>

namespace platform::vbus {
namespace {

// Winsock's codes are Windows error numbers already; those that mean the device closed its end
// are reported as a device that left.
OsError fromWinsock(int code) {
    switch (code) {
    case 0: return kOk;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
        return kErrorDeviceNotConnected;
    case WSAECONNREFUSED: return kErrorFileNotFound;  // the device has stopped listening
    case WSAETIMEDOUT: return kErrorTimeout;
    default: return static_cast<OsError>(code);
    }
}

// Two TCP connections keep no order between them, yet the device must count a reading handle once
// its access byte was sent: a request written at once on another handle is answered there. The
// byte is in the device's hands once its end has acknowledged it. A system that cannot tell (older
// than Windows 10 1703, or Wine) goes on at once, where the loopback keeps the order as a rule.
void awaitAccessAcknowledged(SOCKET socket) {
    constexpr ULONGLONG kLimitMs = 1000;  // a device that has gone shows on the first read anyway
    const ULONGLONG deadline = GetTickCount64() + kLimitMs;
    for (;;) {
        DWORD version = 0;
        TCP_INFO_v0 info{};
        DWORD returned = 0;
        if (WSAIoctl(socket, SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &returned, nullptr, nullptr) != 0 ||
            returned < sizeof info || info.BytesInFlight == 0 || GetTickCount64() >= deadline)
            return;
        Sleep(1);
    }
}

bool startWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

class StreamTransport final : public Transport {
public:
    explicit StreamTransport(SOCKET socket) : socket_(socket) {}
    ~StreamTransport() override { closesocket(socket_); }
    StreamTransport(const StreamTransport&) = delete;
    StreamTransport& operator=(const StreamTransport&) = delete;

    IoProgress send(const Report& report, OsError& error) override {
        // TCP takes the first bytes sent after the device closed its end, and fails only later: a
        // report written to a device that has left must fail at once, as it does on a HID handle.
        if (sentBytes_ == 0 && deviceHasLeft(error)) return IoProgress::Failed;
        while (sentBytes_ < report.size()) {
            const int sent = ::send(socket_, reinterpret_cast<const char*>(report.data()) + sentBytes_,
                                    static_cast<int>(report.size() - sentBytes_), 0);
            if (sent == SOCKET_ERROR) {
                const int code = WSAGetLastError();
                if (code == WSAEWOULDBLOCK) return IoProgress::Pending;
                sentBytes_ = 0;
                return failedWith(fromWinsock(code), error);
            }
            sentBytes_ += static_cast<std::size_t>(sent);
        }
        sentBytes_ = 0;
        return IoProgress::Done;
    }

    bool isMidReport() const override { return sentBytes_ > 0; }

    IoProgress receive(Report& report, OsError& error) override {
        while (receivedBytes_ < kReportSize) {
            const int got = ::recv(socket_, reinterpret_cast<char*>(incoming_.data()) + receivedBytes_,
                                   static_cast<int>(kReportSize - receivedBytes_), 0);
            if (got == 0) return failedWith(kErrorDeviceNotConnected, error);  // end of stream: the device left
            if (got == SOCKET_ERROR) {
                const int code = WSAGetLastError();
                if (code == WSAEWOULDBLOCK) return IoProgress::Pending;
                return failedWith(fromWinsock(code), error);
            }
            receivedBytes_ += static_cast<std::size_t>(got);
        }
        receivedBytes_ = 0;
        report = incoming_;
        return IoProgress::Done;
    }

    OsError wait(bool forSending, int timeoutMs) override {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_, &ready);
        timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        // A closed connection counts as readable, and is then reported by the receive.
        const int result = ::select(0, forSending ? nullptr : &ready, forSending ? &ready : nullptr, nullptr, &limit);
        return result == SOCKET_ERROR ? fromWinsock(WSAGetLastError()) : kOk;
    }

private:
    // True, with error set, once the device's end is closed. Input reports still waiting mean it is
    // there (its end is seen after them).
    bool deviceHasLeft(OsError& error) const {
        char next = 0;
        const int got = ::recv(socket_, &next, 1, MSG_PEEK);
        if (got > 0) return false;
        const int code = got == 0 ? 0 : WSAGetLastError();
        if (code == WSAEWOULDBLOCK) return false;
        error = got == 0 ? kErrorDeviceNotConnected : fromWinsock(code);
        return true;
    }

    SOCKET socket_;
    std::size_t sentBytes_ = 0;  // of the report being sent
    Report incoming_{};
    std::size_t receivedBytes_ = 0;
};

}  // namespace

const char* endpointExtension() { return ".tcp"; }

std::optional<std::string> endpointIdentity(const std::string& path) {
    const HANDLE file = CreateFileW(utf8Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) return std::nullopt;
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow) + ":" + std::to_string(info.ftLastWriteTime.dwHighDateTime) + "." +
           std::to_string(info.ftLastWriteTime.dwLowDateTime);
}

std::unique_ptr<Transport> connectEndpoint(const std::string& path, char access, OsError& error) {
    std::ifstream portFile(utf8Path(path));
    if (!portFile) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    unsigned port = 0;
    if (!(portFile >> port) || port == 0 || port > 65535) {
        error = kErrorInvalidParameter;
        return nullptr;
    }
    if (!startWinsock()) {
        error = kErrorGenFailure;
        return nullptr;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        error = fromWinsock(WSAGetLastError());
        return nullptr;
    }
    // A small send buffer makes a write wait for the device to take its reports, as a write to a
    // real HID interface waits for its USB transfer; reports go out at once, not gathered.
    const int sendBuffer = 1;
    const BOOL noDelay = TRUE;
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    u_long nonBlocking = 1;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        ::send(socket, &access, 1, 0) != 1 || ioctlsocket(socket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        error = fromWinsock(WSAGetLastError());
        closesocket(socket);
        return nullptr;
    }
    if (access != 'w') awaitAccessAcknowledged(socket);
    error = kOk;
    return std::make_unique<StreamTransport>(socket);
}

}  // namespace platform::vbus
