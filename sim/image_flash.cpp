#include "image_flash.h"

#include <algorithm>

namespace sim {

void ImageFlash::store(std::uint16_t index, std::span<const std::uint8_t, kImageRecordSize> record) {
    records_[index].assign(record.begin(), record.end());
}

std::vector<std::uint8_t> ImageFlash::contents() const {
    if (records_.empty()) return {};
    std::vector<std::uint8_t> bytes((std::size_t{records_.rbegin()->first} + 1) * kImageRecordSize, 0xFF);
    for (const auto& [index, record] : records_)
        std::copy(record.begin(), record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(index * kImageRecordSize));
    return bytes;
}

}  // namespace sim
