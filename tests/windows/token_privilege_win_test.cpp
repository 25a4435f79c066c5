// A privilege switched on for one task: on while the task runs where the token holds it, as it was
// afterwards; one the token does not hold is left alone.
#include "platform/core/token_privilege_win.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr const wchar_t* kLoadDriver = L"SeLoadDriverPrivilege";
constexpr const wchar_t* kCreateToken = L"SeCreateTokenPrivilege";

// Whether the process's token holds the privilege switched on; nothing when it does not hold it.
std::optional<bool> privilegeState(const wchar_t* name)
{
    LUID wanted{};
    if (!LookupPrivilegeValueW(nullptr, name, &wanted)) return std::nullopt;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::optional<bool> state;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& held = privileges->Privileges[i];
            if (held.Luid.LowPart == wanted.LowPart && held.Luid.HighPart == wanted.HighPart)
                state = (held.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return state;
}

TEST(WindowsPrivilege, IsOnForTheTaskWhereTheTokenHoldsItAndAsBeforeAfterwards)
{
    const std::optional<bool> before = privilegeState(kLoadDriver);
    if (!before) GTEST_SKIP() << "this token does not hold the privilege to load drivers";
    {
        const platform::EnabledPrivilege loadDriver(kLoadDriver);
        EXPECT_TRUE(loadDriver.enabled());
        EXPECT_EQ(privilegeState(kLoadDriver), std::optional<bool>(true));
    }
    EXPECT_EQ(privilegeState(kLoadDriver), before);

    // Not held by any token of a program (only the system's own processes have it).
    ASSERT_FALSE(privilegeState(kCreateToken));
    const platform::EnabledPrivilege createToken(kCreateToken);
    EXPECT_FALSE(createToken.enabled());
    EXPECT_FALSE(privilegeState(kCreateToken));
}

}  // namespace
