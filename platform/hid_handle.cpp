#include "hid.h"

namespace platform {

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
    if (!backend_) {
        error = kErrorInvalidHandle;
        return IoProgress::Failed;
    }
    return backend_->startWrite(report, ticket, error);
}

IoProgress HidHandle::pollWrite(WriteTicket ticket, OsError& error) {
    if (!backend_) {
        error = kErrorInvalidHandle;
        return IoProgress::Failed;
    }
    return backend_->pollWrite(ticket, error);
}

IoProgress HidHandle::tryRead(Report& report, OsError& error) {
    if (!backend_) {
        error = kErrorInvalidHandle;
        return IoProgress::Failed;
    }
    return backend_->tryRead(report, error);
}

void HidHandle::close() { backend_.reset(); }

}  // namespace platform
