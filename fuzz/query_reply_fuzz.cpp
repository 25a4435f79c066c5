// The bootloader's answer to a query: packet size, family and the region list.
#include "bootloader/memory_layout.h"
#include "bootloader/read_back.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace zerlin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Report reply{};
    std::copy_n(data, std::min(size, reply.size()), reply.begin());

    DeviceLayout layout;
    if (parseQueryReply(reply, layout) != LayoutError::None) return 0;
    // An accepted layout is one that programming and read-back can walk, region by region.
    if (!isUsableLayout(layout.bytesPerPacket, layout.bytesPerAddress)) __builtin_trap();
    if (layout.regions.size() > kMaxRegionsPerQuery) __builtin_trap();
    for (const MemoryRegion& region : layout.regions) {
        if (regionEnd(region) > 0xFFFFFFFFu) __builtin_trap();
        if ((std::uint64_t{region.length} + 1) * layout.bytesPerAddress > kMaxImageBytes) __builtin_trap();
        // The first and the last request of the region's walk.
        const std::uint64_t end = regionEnd(region);
        if (region.length == 0) continue;
        const std::uint64_t addressesPerPacket = layout.bytesPerPacket / layout.bytesPerAddress;
        const std::uint64_t last = region.start + (region.length - 1) / addressesPerPacket * addressesPerPacket;
        for (const std::uint64_t address : {std::uint64_t{region.start}, last}) {
            const std::uint8_t count =
                readBackRequestSize(address, end, layout.bytesPerPacket, layout.bytesPerAddress);
            // Whole address units that fit one reply (an odd packet size is rounded up to a whole unit).
            if (count == 0 || count > kMaxDataPerPacket || count % layout.bytesPerAddress != 0) __builtin_trap();
        }
    }
    return 0;
}
