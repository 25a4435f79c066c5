// Intel HEX text from the field, loaded into a small layout of either addressing width.
#include "bootloader/hex_loader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using namespace zerlin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // The first byte picks the addressing width; the rest is the file.
    const std::uint8_t bytesPerAddress = (data[0] & 1) != 0 ? 2 : 1;
    const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::array<MemoryRegion, 3> regions{{
        {1, 0x0000, 0x0400},
        {1, 0x8000, 0x0040},
        {kConfigRegionType, 0x00300000, 0x000F},
    }};
    std::array<std::vector<std::uint8_t>, 3> images;
    for (std::size_t i = 0; i < regions.size(); ++i) images[i] = blankImage(regions[i], bytesPerAddress);

    const HexLoadResult result = loadHexText(content, ImageSet{regions, images, bytesPerAddress});
    // Loading never resizes an image, and a rejection names a line of the file.
    for (std::size_t i = 0; i < regions.size(); ++i)
        if (images[i].size() != (std::size_t{regions[i].length} + 1) * bytesPerAddress) __builtin_trap();
    if (result.status != HexLoadStatus::Ok &&
        (result.lineNumber == 0 || result.lineNumber > splitHexLines(content).size()))
        __builtin_trap();
    return 0;
}
