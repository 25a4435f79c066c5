// What zerlin-tool checks and works out before it touches the flash: whether the firmware file
// reads cleanly, and how many bytes each step moves on the board it found.
#pragma once

#include "bootloader/hex_loader.h"
#include "bootloader/memory_layout.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zerlin {

// Reads the whole file as the library will; only the rejection (and its line) matters here.
HexLoadResult checkHexText(std::string_view hexText);

// "line 3: the record is shorter than its byte count says", for a rejected load.
std::string describeRejection(const HexLoadResult& result);

struct FlashPlan {
    std::uint64_t programBytes = 0;  // data bytes the programming sends
    std::uint64_t memoryBytes = 0;   // bytes of the regions erased and read back
};

// The file loaded into the layout's regions, as the library loads and programs it. Configuration
// regions are neither programmed nor read back, so they count for neither.
FlashPlan planFlash(const DeviceLayout& layout, std::string_view hexText);

// The regions that are programmed, for messages: "0x1000-0x1FFF7".
std::string describeProgramRegions(const DeviceLayout& layout);

}  // namespace zerlin
