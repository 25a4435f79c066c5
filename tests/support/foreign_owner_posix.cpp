#include "foreign_owner.h"

#include <unistd.h>

namespace bustest {

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

bool giveToAnotherUser(const std::string& path)
{
    return ::geteuid() != kNobody && ::lchown(path.c_str(), kNobody, kNobody) == 0;
}

}  // namespace bustest
