// The bootloader's memory layout: the regions its query reply lists, the packet and address sizes,
// and the blank region images that a firmware file is loaded into.
#pragma once

#include "bootloader/boot_protocol.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zerlin {

#pragma pack(push, 1)
// Same layout in memory as in the query reply.
struct MemoryRegion {
    std::uint8_t type;
    std::uint32_t start;   // device address units
    std::uint32_t length;  // device address units
};
#pragma pack(pop)
static_assert(sizeof(MemoryRegion) == 9);

inline constexpr std::size_t kRegionSlots = 6;
inline constexpr std::size_t kMaxRegionsPerQuery = 4;
inline constexpr std::uint8_t kRegionListEnd = 0xFF;
// Configuration words: written by other means, so never programmed nor verified here.
inline constexpr std::uint8_t kConfigRegionType = 3;
// Far above any board of this family; a reply listing more is garbled, not a bigger board.
inline constexpr std::uint64_t kMaxImageBytes = 16u << 20;

struct DeviceLayout {
    std::uint8_t bytesPerPacket = 0;
    std::uint8_t bytesPerAddress = 0;
    std::vector<MemoryRegion> regions;
};

enum class LayoutError {
    None,
    UnknownFamily,       // no addressing width known for the device family
    UnusablePacketSize,  // 0, smaller than one address unit, or too big for a report
    RegionTooLarge,      // past the 32-bit address space or beyond kMaxImageBytes
};

// Reads a query reply; the layout is only meaningful when the result is LayoutError::None.
LayoutError parseQueryReply(const Report& reply, DeviceLayout& layout);

// Whether programming and read-back can make progress with these sizes.
bool isUsableLayout(std::uint8_t bytesPerPacket, std::uint8_t bytesPerAddress);

// First address past the region, without 32-bit overflow.
inline std::uint64_t regionEnd(const MemoryRegion& region)
{
    return std::uint64_t{region.start} + region.length;
}

// A fresh image: (length + 1) address units, all 0xFF except that with 2-byte addressing the
// fourth byte of every 4-byte group (the pad byte of each odd address) is 0x00.
std::vector<std::uint8_t> blankImage(const MemoryRegion& region, std::uint8_t bytesPerAddress);

// Whether image byte offset is a pad byte, whose value programming and verification ignore.
inline bool isPadOffset(std::size_t offset, std::uint8_t bytesPerAddress)
{
    return bytesPerAddress == 2 && offset % 4 == 3;
}

}  // namespace zerlin
