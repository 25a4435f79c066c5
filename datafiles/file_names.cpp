#include "datafiles/file_names.h"

#include <algorithm>

namespace {

std::string upperCased(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    return upper;
}

}  // namespace

FirmwareFileKind classifyFirmwareFile(std::string_view fileName)
{
    const std::string upper = upperCased(fileName);
    // The vendor's signature beside a file is named after it, and is neither kind of file.
    if (upper.ends_with(".MINISIG")) return {};
    if (upper.find("_IMG_") != std::string::npos) return {FirmwareFileKind::ImageData, {}};
    const std::size_t marker = upper.find("_FW_");
    if (marker == std::string::npos) return {};
    return {FirmwareFileKind::Firmware, upper.substr(marker + 4, 5)};
}

FirmwareFolderPick pickFirmwareFiles(const std::vector<std::string>& fileNames)
{
    FirmwareFolderPick pick;
    for (const std::string& name : fileNames) {
        const FirmwareFileKind found = classifyFirmwareFile(name);
        if (found.kind == FirmwareFileKind::ImageData) {
            pick.imageData = name;
        } else if (found.kind == FirmwareFileKind::Firmware) {
            pick.firmware = name;
            pick.version = found.version;
        }
    }
    return pick;
}

bool isLogFileName(std::string_view fileName)
{
    const std::size_t dot = fileName.rfind('.');
    return dot != std::string_view::npos && upperCased(fileName.substr(dot)) == ".XLS";
}
