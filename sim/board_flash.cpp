#include "board_flash.h"

#include <algorithm>

namespace sim {

BoardFlash::BoardFlash(const std::vector<MemoryRegion>& regions, int unitBytes) : unitBytes_(unitBytes) {
    for (const MemoryRegion& region : regions)
        blocks_.push_back(Block{region, std::uint64_t{region.start} * unitBytes,
                                std::vector<std::uint8_t>(std::size_t{region.length} * unitBytes, 0xFF)});
}

void BoardFlash::eraseProgramMemory() {
    for (Block& block : blocks_)
        if (block.region.type != kConfigRegionType) std::fill(block.bytes.begin(), block.bytes.end(), 0xFF);
}

template <typename Blocks>
auto* BoardFlash::find(Blocks& blocks, std::uint64_t bytePosition) {
    decltype(&blocks.front()) found = nullptr;
    for (auto& block : blocks)
        if (bytePosition >= block.firstByte && bytePosition - block.firstByte < block.bytes.size()) found = &block;
    return found;
}

bool BoardFlash::program(std::uint64_t bytePosition, std::uint8_t value) {
    Block* block = find(blocks_, bytePosition);
    if (block == nullptr) return false;
    auto& cell = block->bytes[bytePosition - block->firstByte];
    cell = static_cast<std::uint8_t>(cell & value);
    return true;
}

std::uint8_t BoardFlash::read(std::uint64_t bytePosition) const {
    if (unitBytes_ == 2 && bytePosition % 4 == 3) return 0x00;
    const Block* block = find(blocks_, bytePosition);
    return block == nullptr ? 0x00 : block->bytes[bytePosition - block->firstByte];
}

}  // namespace sim
