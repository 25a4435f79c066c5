#include "platform/drives/mountinfo.h"

#include <algorithm>
#include <sstream>

namespace platform {
namespace {

// The kernel writes blank, tab, newline and backslash in paths as three octal digits after a backslash.
std::string unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](std::size_t at, char highest) { return field[at] >= '0' && field[at] <= highest; };
        const bool octal = field[i] == '\\' && i + 3 < field.size() && isOctal(i + 1, '3') && isOctal(i + 2, '7') &&
                           isOctal(i + 3, '7');
        if (octal) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string f; fields >> f;) field.push_back(f);
        std::size_t separator = 6;
        while (separator < field.size() && field[separator] != "-") ++separator;
        if (field.size() < 6 || separator + 2 >= field.size()) continue;
        entries.push_back({field[0], field[1], unescape(field[4]), unescape(field[separator + 2]), field[2]});
    }
    return entries;
}

std::optional<MountEntry> mountSeenAt(const std::vector<MountEntry>& table, const std::string& mountPoint) {
    const auto isHere = [&](const MountEntry& entry) { return entry.mountPoint == mountPoint; };
    const auto isCovered = [&](const MountEntry& entry) {
        return std::any_of(table.begin(), table.end(),
                           [&](const MountEntry& over) { return &over != &entry && isHere(over) && over.parentId == entry.id; });
    };
    for (auto entry = table.rbegin(); entry != table.rend(); ++entry)
        if (isHere(*entry) && !isCovered(*entry)) return *entry;
    return std::nullopt;
}

}  // namespace platform
