// HID interfaces of the virtual bus: hid/<name>.id holds the hardware IDs, hid/<name>.sock is a
// SOCK_SEQPACKET socket that carries one 65-byte report per message.
#include "hid_backends.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::vbus {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The first hardware ID in an interface's .id file; none when the file cannot be read.
std::optional<std::string> firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int remainingMs(Clock::time_point deadline) {
    // Rounded up, so that a wait never ends before its deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class VbusHidHandle final : public HidBackendHandle {
public:
    VbusHidHandle(int fd, HidAccess access) : fd_(fd), access_(access) {}
    ~VbusHidHandle() override { ::close(fd_); }
    VbusHidHandle(const VbusHidHandle&) = delete;
    VbusHidHandle& operator=(const VbusHidHandle&) = delete;

    OsError write(const Report& report, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        OsError error = kOk;
        WriteTicket ticket = 0;
        IoProgress progress = startWrite(report, ticket, error);
        while (progress == IoProgress::Pending) {
            const int left = remainingMs(deadline);
            if (left == 0) {
                // Withdrawn, as a cancelled write is, so it cannot go out ahead of a later exchange.
                unsent_.erase(unsent_.begin() + static_cast<std::ptrdiff_t>(ticket - sentCount_));
                return kErrorTimeout;
            }
            if (OsError waitError = waitFor(POLLOUT, left); waitError != kOk) return waitError;
            progress = pollWrite(ticket, error);
        }
        return progress == IoProgress::Done ? kOk : error;
    }

    OsError read(Report& report, int timeoutMs) override {
        if (access_ == HidAccess::Write) return kErrorAccessDenied;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            OsError error = kOk;
            switch (tryRead(report, error)) {
            case IoProgress::Done: return kOk;
            case IoProgress::Failed: return error;
            case IoProgress::Pending: break;
            }
            const int left = remainingMs(deadline);
            if (left == 0) return kErrorTimeout;
            if (OsError waitError = waitFor(POLLIN, left); waitError != kOk) return waitError;
        }
    }

    IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error) override {
        if (access_ == HidAccess::Read) return fail(kErrorAccessDenied, error);
        ticket = sentCount_ + unsent_.size();
        unsent_.push_back(report);
        return pollWrite(ticket, error);
    }

    IoProgress pollWrite(WriteTicket ticket, OsError& error) override {
        while (!unsent_.empty() && sentCount_ <= ticket) {
            const Report& next = unsent_.front();
            const ssize_t sent = ::send(fd_, next.data(), next.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return IoProgress::Pending;
            if (sent != static_cast<ssize_t>(next.size())) {
                unsent_.clear();  // the connection is broken: nothing queued will ever go
                return fail(sent < 0 ? fromErrno(errno) : kErrorGenFailure, error);
            }
            unsent_.pop_front();
            ++sentCount_;
        }
        if (sentCount_ > ticket) return IoProgress::Done;
        return fail(kErrorDeviceNotConnected, error);  // dropped with a broken connection
    }

    IoProgress tryRead(Report& report, OsError& error) override {
        if (access_ == HidAccess::Write) return fail(kErrorAccessDenied, error);
        for (;;) {
            // One spare byte tells a longer message apart; such a message breaks the contract and is dropped.
            std::uint8_t message[kReportSize + 1];
            const ssize_t got = ::recv(fd_, message, sizeof message, MSG_DONTWAIT);
            if (got == static_cast<ssize_t>(kReportSize)) {
                std::copy_n(message, kReportSize, report.begin());
                return IoProgress::Done;
            }
            if (got == 0) return fail(kErrorDeviceNotConnected, error);  // the device closed us: it left
            if (got > 0) continue;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return IoProgress::Pending;
            return fail(fromErrno(errno), error);
        }
    }

private:
    static IoProgress fail(OsError code, OsError& error) {
        error = code;
        return IoProgress::Failed;
    }

    // Waits until the socket is ready for events; a hang-up is left for the next send/recv to report.
    OsError waitFor(short events, int timeoutMs) {
        pollfd pfd{fd_, events, 0};
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) return fromErrno(errno);
        return kOk;
    }

    int fd_;
    HidAccess access_;
    std::deque<Report> unsent_;  // started writes the device has not taken yet, oldest first
    WriteTicket sentCount_ = 0;  // tickets below this have gone out
};

}  // namespace

std::vector<HidInterfaceInfo> listHidInterfaces(const std::string& busDir, OsError& error) {
    error = kOk;
    std::vector<std::pair<std::string, HidInterfaceInfo>> found;
    const fs::path hidDir = fs::absolute(fs::path(busDir) / "hid");
    std::error_code ec;
    for (fs::directory_iterator it(hidDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& file = it->path();
        if (file.extension() != ".sock") continue;
        fs::path idFile = file;
        idFile.replace_extension(".id");
        if (!fs::exists(idFile)) continue;  // half-way through arriving or leaving
        found.push_back({file.stem().string(), HidInterfaceInfo{{}, file.string()}});
    }
    if (ec && ec != std::errc::no_such_file_or_directory) error = fromErrno(ec.value());
    // Byte-wise order of <name>, as the bus defines its enumeration order.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HidInterfaceInfo> list;
    list.reserve(found.size());
    for (auto& [name, info] : found) {
        // As a hardware ID that cannot be read ends the system's enumeration, an unreadable .id
        // ends the list here, unless it went away meanwhile with its interface.
        const fs::path idFile = hidDir / (name + ".id");
        std::optional<std::string> hardwareId = firstLine(idFile);
        if (!hardwareId && !fs::exists(idFile)) continue;
        if (!hardwareId) {
            error = kErrorGenFailure;
            break;
        }
        info.hardwareId = std::move(*hardwareId);
        list.push_back(std::move(info));
    }
    return list;
}

std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error) {
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
    const char mode = access == HidAccess::Read ? 'r' : access == HidAccess::Write ? 'w' : 'b';
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, &mode, 1, MSG_NOSIGNAL) != 1) {
        error = fromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    error = kOk;
    return std::make_unique<VbusHidHandle>(fd, access);
}

}  // namespace platform::vbus
