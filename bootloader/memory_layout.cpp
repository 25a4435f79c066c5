#include "bootloader/memory_layout.h"

namespace zerlin {

namespace {

constexpr std::size_t kPacketSizeOffset = 2;
constexpr std::size_t kFamilyOffset = 3;
constexpr std::size_t kFirstRegionOffset = 4;

std::uint8_t bytesPerAddressOfFamily(std::uint8_t family)
{
    switch (family) {
    case 1:
    case 3: return 1;
    case 2: return 2;
    default: return 0;
    }
}

}  // namespace

bool isUsableLayout(std::uint8_t bytesPerPacket, std::uint8_t bytesPerAddress)
{
    return (bytesPerAddress == 1 || bytesPerAddress == 2) && bytesPerPacket >= bytesPerAddress &&
           bytesPerPacket <= kMaxDataPerPacket;
}

LayoutError parseQueryReply(const Report& reply, DeviceLayout& layout)
{
    layout = DeviceLayout{};
    layout.bytesPerPacket = reply[kPacketSizeOffset];
    layout.bytesPerAddress = bytesPerAddressOfFamily(reply[kFamilyOffset]);
    if (layout.bytesPerAddress == 0) return LayoutError::UnknownFamily;
    if (!isUsableLayout(layout.bytesPerPacket, layout.bytesPerAddress)) return LayoutError::UnusablePacketSize;

    for (std::size_t j = 0; j < kMaxRegionsPerQuery; ++j) {
        const std::size_t offset = kFirstRegionOffset + j * sizeof(MemoryRegion);
        MemoryRegion region{reply[offset], getLittleEndian32(reply, offset + 1), getLittleEndian32(reply, offset + 5)};
        if (region.type == kRegionListEnd) break;
        const std::uint64_t imageBytes = (std::uint64_t{region.length} + 1) * layout.bytesPerAddress;
        if (regionEnd(region) > 0xFFFFFFFFu || imageBytes > kMaxImageBytes) return LayoutError::RegionTooLarge;
        layout.regions.push_back(region);
    }
    return LayoutError::None;
}

std::vector<std::uint8_t> blankImage(const MemoryRegion& region, std::uint8_t bytesPerAddress)
{
    std::vector<std::uint8_t> image((std::size_t{region.length} + 1) * bytesPerAddress, 0xFF);
    for (std::size_t offset = 3; bytesPerAddress == 2 && offset < image.size(); offset += 4) image[offset] = 0x00;
    return image;
}

}  // namespace zerlin
