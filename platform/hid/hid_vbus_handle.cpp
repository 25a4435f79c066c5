// HID interfaces of the virtual bus: hid/<name>.id holds the hardware IDs, hid/<name>.sock (or, for
// a Windows client, hid/<name>.tcp) is the endpoint the reports travel through.
#include "platform/hid/hid_backends.h"
#include "platform/hid/hid_vbus_transport.h"
#include "platform/core/utf8_path.h"
#include "platform/core/vbus_dir.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>

namespace platform::vbus {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    // Rounded up, so that a wait never ends before its deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class VbusHidHandle final : public HidBackendHandle {
public:
    VbusHidHandle(std::unique_ptr<Transport> transport, HidAccess access)
        : transport_(std::move(transport)), access_(access) {}

    OsError write(const Report& report, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        OsError error = kOk;
        WriteTicket ticket = 0;
        IoProgress progress = startWrite(report, ticket, error);
        while (progress == IoProgress::Pending) {
            const int left = remainingMs(deadline);
            if (left == 0) {
                // Withdrawn, as a cancelled write is, so it cannot go out ahead of a later exchange;
                // one already part-way out can only be finished.
                const bool sending = ticket == sentCount_;
                if (!(sending && transport_->isMidReport()))
                    unsent_.erase(unsent_.begin() + static_cast<std::ptrdiff_t>(ticket - sentCount_));
                return kErrorTimeout;
            }
            if (OsError waitError = transport_->wait(true, left); waitError != kOk) return waitError;
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
            if (OsError waitError = transport_->wait(false, left); waitError != kOk) return waitError;
        }
    }

    IoProgress startWrite(const Report& report, WriteTicket& ticket, OsError& error) override {
        if (access_ == HidAccess::Read) return failedWith(kErrorAccessDenied, error);
        ticket = sentCount_ + unsent_.size();
        unsent_.push_back(report);
        return pollWrite(ticket, error);
    }

    IoProgress pollWrite(WriteTicket ticket, OsError& error) override {
        while (!unsent_.empty() && sentCount_ <= ticket) {
            switch (transport_->send(unsent_.front(), error)) {
            case IoProgress::Pending: return IoProgress::Pending;
            case IoProgress::Failed:
                unsent_.clear();  // the connection is broken: nothing queued will ever go
                return IoProgress::Failed;
            case IoProgress::Done:
                unsent_.pop_front();
                ++sentCount_;
                break;
            }
        }
        if (sentCount_ > ticket) return IoProgress::Done;
        return failedWith(kErrorDeviceNotConnected, error);  // dropped with a broken connection
    }

    IoProgress tryRead(Report& report, OsError& error) override {
        if (access_ == HidAccess::Write) return failedWith(kErrorAccessDenied, error);
        return transport_->receive(report, error);
    }

private:
    std::unique_ptr<Transport> transport_;
    HidAccess access_;
    std::deque<Report> unsent_;  // started writes the device has not taken yet, oldest first
    WriteTicket sentCount_ = 0;  // tickets below this have gone out
};

}  // namespace

std::vector<HidInterfaceInfo> listHidInterfaces(const std::string& busDir, OsError& error) {
    error = kOk;
    std::vector<std::pair<std::string, HidInterfaceInfo>> found;
    const fs::path hidDir = fs::absolute(utf8Path(busDir) / "hid");
    std::error_code ec;
    for (fs::directory_iterator it(hidDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& file = it->path();
        if (file.extension() != endpointExtension()) continue;
        fs::path idFile = file;
        idFile.replace_extension(".id");
        if (!fs::exists(idFile)) continue;  // half-way through arriving or leaving
        found.push_back({utf8String(file.stem()), HidInterfaceInfo{{}, utf8String(file), {}}});
    }
    if (ec && ec != std::errc::no_such_file_or_directory) error = fromErrno(ec.value());
    // Byte-wise order of <name>, as the bus defines its enumeration order.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HidInterfaceInfo> list;
    list.reserve(found.size());
    for (auto& [name, info] : found) {
        // As a hardware ID that cannot be read ends the system's enumeration, an unreadable .id
        // ends the list here, unless it went away meanwhile with its interface.
        const fs::path idFile = hidDir / utf8Path(name + ".id");
        std::optional<std::string> hardwareId = busFileFirstLine(idFile);
        if (!hardwareId && !fs::exists(idFile)) continue;
        if (!hardwareId) {
            error = kErrorGenFailure;
            break;
        }
        info.hardwareId = std::move(*hardwareId);
        info.port = busFileFirstLine(hidDir / utf8Path(name + ".port")).value_or("");
        list.push_back(std::move(info));
    }
    return list;
}

std::unique_ptr<HidBackendHandle> openHid(const std::string& path, HidAccess access, OsError& error) {
    const char mode = access == HidAccess::Read ? 'r' : access == HidAccess::Write ? 'w' : 'b';
    error = kOk;
    std::unique_ptr<Transport> transport = connectEndpoint(path, mode, error);
    if (!transport) return nullptr;
    return std::make_unique<VbusHidHandle>(std::move(transport), access);
}

}  // namespace platform::vbus
