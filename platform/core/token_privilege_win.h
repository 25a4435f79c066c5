// Windows: a privilege of this process switched on for one task, where its token holds it.
#pragma once

#include <windows.h>

namespace platform {

// Switches the privilege named name (e.g. L"SeLoadDriverPrivilege") on in the process's token for as long
// as this object lives, and back off afterwards if it was off. A token that does not hold the
// privilege is left as it is: a standard user's never holds some, an administrator's holds them
// switched off.
class EnabledPrivilege {
public:
    explicit EnabledPrivilege(const wchar_t* name);
    ~EnabledPrivilege();
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;

    // Whether the token holds the privilege and it is on now.
    bool enabled() const { return enabled_; }

private:
    HANDLE token_ = nullptr;
    TOKEN_PRIVILEGES previous_{};  // what this object changed, to be put back
    bool enabled_ = false;
};

}  // namespace platform
