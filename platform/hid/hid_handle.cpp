#include "platform/hid/hid.h"

namespace platform {
namespace {

// A non-waiting step on a handle that is not open fails as I/O on a closed handle does.
IoProgress notOpen(OsError& error) {
    error = kErrorInvalidHandle;
    return IoProgress::Failed;
}

}  // namespace

HidHandle::HidHandle() = default;
HidHandle::~HidHandle() = default;
HidHandle::HidHandle(HidHandle&&) noexcept = default;
HidHandle& HidHandle::operator=(HidHandle&&) noexcept = default;
HidHandle::HidHandle(std::unique_ptr<HidBackendHandle> backend) : backend_(std::move(backend)) {}

bool HidHandle::isOpen() const { return backend_ != nullptr; }

OsError HidHandle::write(const Report& report, int timeoutMs) {
    return backend_ ? backend_->write(report, timeoutMs) : kErrorInvalidHandle;
}

OsError HidHandle::read(Report& report, int timeoutMs) {
    return backend_ ? backend_->read(report, timeoutMs) : kErrorInvalidHandle;
}

IoProgress HidHandle::startWrite(const Report& report, WriteTicket& ticket, OsError& error) {
    return backend_ ? backend_->startWrite(report, ticket, error) : notOpen(error);
}

IoProgress HidHandle::pollWrite(WriteTicket ticket, OsError& error) {
    return backend_ ? backend_->pollWrite(ticket, error) : notOpen(error);
}

IoProgress HidHandle::tryRead(Report& report, OsError& error) {
    return backend_ ? backend_->tryRead(report, error) : notOpen(error);
}

void HidHandle::close() { backend_.reset(); }

}  // namespace platform
