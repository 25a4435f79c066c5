// Loading a firmware file into the session's region images.
#include "bootloader/hex_loader.h"
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"
#include "platform/utf8_path.h"

#include <fstream>
#include <iterator>
#include <span>
#include <string>

using namespace zerlin;

extern "C" ZERLIN_EXPORT uint8_t M47J53_LoadFirmwareFile(const char* path)
{
    return failSafe([path] {
        if (!regionTable || path == nullptr) return false;
        std::ifstream file(platform::utf8Path(path), std::ios::binary);
        if (!file) return false;
        const std::string content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (file.bad()) return false;

        const ImageSet target{std::span(*regionTable).first(regionCount), std::span(regionImage).first(regionCount),
                              bytesPerAddress};
        return loadHexText(content, target).status == HexLoadStatus::Ok;
    });
}
