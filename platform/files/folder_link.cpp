#include "platform/files/folder_link.h"

namespace platform {

bool isLinkReparseTag(std::uint32_t tag)
{
    constexpr std::uint32_t kNameSurrogate = 0x20000000;
    return (tag & kNameSurrogate) != 0;
}

}  // namespace platform
