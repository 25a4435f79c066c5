#include "platform/files/file_owner.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

namespace platform {

namespace {

// The token's user, and the owner it gives what it creates (the Administrators group for an
// elevated administrator): a file of this user's making has one of them as its owner.
bool isOwnSid(PSID owner)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    bool own = false;
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        DWORD size = 0;
        GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        if (size == 0 || !GetTokenInformation(token, kind, buffer.data(), size, &size)) continue;
        const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        if (EqualSid(owner, sid)) own = true;
    }
    CloseHandle(token);
    return own;
}

}  // namespace

bool isOwnRegularFile(const File& file)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(file.native());
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) return false;
    if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        GetFileType(handle) != FILE_TYPE_DISK)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    const bool own = owner != nullptr && isOwnSid(owner);
    LocalFree(descriptor);
    return own;
}

}  // namespace platform
