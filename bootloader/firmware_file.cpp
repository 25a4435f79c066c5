// Loading a firmware file into the session's region images.
#include "bootloader/hex_loader.h"
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"
#include "platform/core/utf8_path.h"

#include <fstream>
#include <iterator>
#include <span>
#include <string>

using namespace zerlin;

namespace {

void dropImages()
{
    for (std::vector<std::uint8_t>& image : regionImage) image = {};
}

// Each file is loaded into blank images, so nothing of an earlier file stays behind.
bool loadFirmwareFile(const char* path)
{
    if (!regionTable || path == nullptr) return false;
    std::ifstream file(platform::utf8Path(path), std::ios::binary);
    if (!file) return false;
    const std::string content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return false;

    dropImages();
    for (std::size_t i = 0; i < regionCount; ++i) regionImage[i] = blankImage((*regionTable)[i], bytesPerAddress);
    const ImageSet target{std::span(*regionTable).first(regionCount), std::span(regionImage).first(regionCount),
                          bytesPerAddress};
    return loadHexText(content, target).status == HexLoadStatus::Ok;
}

}  // namespace

extern "C" ZERLIN_EXPORT uint8_t M47J53_LoadFirmwareFile(const char* path)
{
    const std::uint8_t loaded = failSafe([path] { return loadFirmwareFile(path); });
    // Part of a file is no firmware: programming and verification refuse to run until a load succeeds.
    if (loaded == 0) dropImages();
    return loaded;
}
