// The flash memory of a bootloader board, kept per region and addressed by byte position
// (device address x bytes per address unit + byte within the unit).
#pragma once

#include "device_config.h"

#include <cstdint>
#include <vector>

namespace sim {

class BoardFlash {
public:
    BoardFlash(const std::vector<MemoryRegion>& regions, int unitBytes);

    int unitBytes() const { return unitBytes_; }

    // Every region except the configuration words back to 0xFF.
    void eraseProgramMemory();

    // Programs one byte. Flash cells only go from 1 to 0, so programming over data that was not
    // erased ANDs the bits, as on the real part. Returns false when no region holds the position.
    bool program(std::uint64_t bytePosition, std::uint8_t value);

    // Reads one byte. With 2-byte units the second byte of an odd address does not exist in the
    // part and reads as 0x00; so does every position outside the regions.
    std::uint8_t read(std::uint64_t bytePosition) const;

private:
    struct Block {
        MemoryRegion region;
        std::uint64_t firstByte;
        std::vector<std::uint8_t> bytes;
    };
    template <typename Blocks>
    static auto* find(Blocks& blocks, std::uint64_t bytePosition);

    int unitBytes_;
    std::vector<Block> blocks_;
};

}  // namespace sim
