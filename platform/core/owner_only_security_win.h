// Windows: security for a folder that only the user running this program may use.
#pragma once

#include <windows.h>

#include <vector>

namespace platform {

// Security attributes that give the user of this process's token, and nobody else, full control,
// passed on to every file and folder made inside, with nothing inherited from the parent (a
// temporary folder can be one that others may write into). attributes() is null when the token
// cannot be read; the error is then in GetLastError().
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity();
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

private:
    std::vector<unsigned char> user_;  // TOKEN_USER with the user's SID
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

}  // namespace platform
