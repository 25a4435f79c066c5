#include "platform/core/token_privilege_win.h"

namespace platform {

EnabledPrivilege::EnabledPrivilege(const wchar_t* name)
{
    LUID privilege{};
    if (!LookupPrivilegeValueW(nullptr, name, &privilege) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_)) {
        token_ = nullptr;
        return;
    }
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = privilege;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD previousSize = 0;
    // Succeeds also for a privilege the token does not hold, and says so only through the last error.
    enabled_ = AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof previous_, &previous_, &previousSize) != 0 &&
               GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    if (!enabled_) previous_.PrivilegeCount = 0;
}

EnabledPrivilege::~EnabledPrivilege()
{
    // previous_ lists the privilege only when this object switched it on.
    if (previous_.PrivilegeCount > 0) AdjustTokenPrivileges(token_, FALSE, &previous_, 0, nullptr, nullptr);
    if (token_ != nullptr) CloseHandle(token_);
}

}  // namespace platform
