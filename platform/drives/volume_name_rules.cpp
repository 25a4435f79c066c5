#include "platform/drives/volume_name_rules.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

constexpr std::string_view kVolumePrefix = "\\\\?\\Volume{";
// Device paths that the C runtime's file status calls take (see fileOnDrive).
constexpr std::string_view kNormalizedDevicePrefix = "\\\\.\\";

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

bool endsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && equalsNoCase(text.substr(text.size() - end.size()), end);
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"
bool isGuidText(std::string_view text)
{
    constexpr std::string_view kShape = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
    return text.size() == kShape.size() &&
           std::equal(kShape.begin(), kShape.end(), text.begin(), [](char shape, char c) { return shape == '-' ? c == '-' : isHexDigit(c); });
}

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::vector<std::string_view> componentsOf(std::string_view path)
{
    std::vector<std::string_view> components;
    while (!path.empty()) {
        const auto separator = path.find('\\');
        if (separator != 0) components.push_back(path.substr(0, separator));
        if (separator == std::string_view::npos) break;
        path.remove_prefix(separator + 1);
    }
    return components;
}

// "Volume{...}" of "\\?\Volume{...}\".
std::string_view volumeOf(std::string_view volumeGuidPath) { return volumeGuidPath.substr(4, volumeGuidPath.size() - 5); }

}  // namespace

bool isLetterDriveName(std::string_view drive) { return drive.size() == 2 && isDriveLetter(drive[0]) && drive[1] == ':'; }

bool isVolumeGuidPath(std::string_view drive)
{
    return drive.size() == kVolumePrefix.size() + 36 + 2 && drive.substr(0, kVolumePrefix.size()) == kVolumePrefix &&
           isGuidText(drive.substr(kVolumePrefix.size(), 36)) && drive.substr(drive.size() - 2) == "}\\";
}

std::vector<char> driveLettersAmong(const std::vector<std::string>& pathNames)
{
    std::vector<char> letters;
    for (const std::string& name : pathNames)
        if (name.size() == 3 && isLetterDriveName(std::string_view(name).substr(0, 2)) && name[2] == '\\')
            letters.push_back(upper(name[0]));
    return letters;
}

bool isNetworkRedirectorTarget(std::string_view target)
{
    const std::vector<std::string_view> parts = componentsOf(target);
    // A connection a redirector made for one logon: ";F:0000000000012345" (its letter and logon).
    if (std::any_of(parts.begin(), parts.end(), [](std::string_view part) { return part.starts_with(';'); })) return true;
    if (parts.size() >= 2 && equalsNoCase(parts[0], "Device"))
        return equalsNoCase(parts[1], "Mup") || equalsNoCase(parts[1], "RdpDr") || endsWithNoCase(parts[1], "Redirector");
    // A letter defined as a share's path (subst X: \\server\share): "\??\UNC\server\share".
    return parts.size() >= 2 && parts[0] == "??" && equalsNoCase(parts[1], "UNC");
}

std::string driveNameOfVolume(const std::string& volumeGuidPath, std::string_view volumeDevice,
                              const std::vector<LetterInSession>& letters)
{
    std::vector<char> own;
    for (const LetterInSession& letter : letters) {
        const char name = upper(letter.letter);
        if (name >= 'C' && name <= 'Z' && !volumeDevice.empty() && equalsNoCase(letter.dosDevice, volumeDevice))
            own.push_back(name);
    }
    if (own.empty()) return volumeGuidPath;
    return {*std::min_element(own.begin(), own.end()), ':'};
}

std::string driveRoot(std::string_view drive)
{
    if (isLetterDriveName(drive)) return std::string(drive) + "\\";
    return isVolumeGuidPath(drive) ? std::string(drive) : std::string();
}

std::string volumeDeviceToOpen(std::string_view drive)
{
    if (isLetterDriveName(drive)) return std::string(kNormalizedDevicePrefix) + std::string(drive);
    return isVolumeGuidPath(drive) ? std::string(drive.substr(0, drive.size() - 1)) : std::string();
}

std::string dosDeviceName(std::string_view drive)
{
    if (isLetterDriveName(drive)) return std::string(drive);
    return isVolumeGuidPath(drive) ? std::string(volumeOf(drive)) : std::string();
}

std::string fileOnDrive(std::string_view drive, std::string_view fileName)
{
    if (isVolumeGuidPath(drive))
        return std::string(kNormalizedDevicePrefix) + std::string(volumeOf(drive)) + "\\" + std::string(fileName);
    return std::string(drive) + "\\" + std::string(fileName);
}

}  // namespace platform
