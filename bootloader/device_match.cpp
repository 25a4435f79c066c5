#include "bootloader/device_match.h"

#include <algorithm>
#include <string>

namespace zerlin {

bool hardwareIdMatches(std::string_view hardwareId, std::string_view fragment)
{
    if (fragment.empty()) return false;
    std::string upper(hardwareId);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return upper.find(fragment) != std::string::npos;
}

}  // namespace zerlin
