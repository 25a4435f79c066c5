// Windows: an object reached through its IDispatch interface, members looked up by name.
#pragma once

#include "platform/com/com_apartment_win.h"
#include "platform/com/com_automation_win.h"

#include <oaidl.h>

namespace platform::com {

class DispatchObject final : public Object {
public:
    // Takes over one reference to dispatch.
    explicit DispatchObject(IDispatch* dispatch) : dispatch_(dispatch) {}
    ~DispatchObject() override { dispatch_->Release(); }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) override;
    IDispatch* dispatch() const { return dispatch_; }

private:
    ApartmentMembership apartment_;  // declared first, so left only after the release
    IDispatch* dispatch_;
};

}  // namespace platform::com
