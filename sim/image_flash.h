// The controller's image flash: the image data the host streams into it, kept by record index.
// It survives the controller leaving the bus; only an erase clears it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace sim {

inline constexpr std::size_t kImageRecordSize = 54;

class ImageFlash {
public:
    void erase() { records_.clear(); }

    void store(std::uint16_t index, std::span<const std::uint8_t, kImageRecordSize> record);
    std::size_t recordsHeld() const { return records_.size(); }

    // The flash from record 0 up to the highest record written: record i at byte 54 x i, bytes of
    // records never written read 0xFF as erased flash does. Empty after an erase.
    std::vector<std::uint8_t> contents() const;

private:
    std::map<std::uint16_t, std::vector<std::uint8_t>> records_;
};

}  // namespace sim
