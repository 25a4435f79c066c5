// Slicing region images into the reports that program them.
//
// Packets whose bytes are all blank (0xFF, pad bytes ignored) are left out, so erased areas cost no
// USB traffic; the bootloader is told to flush its write buffer (BootCmdProgramComplete) before the
// first data packet after such a gap and at the end of every region.
#pragma once

#include "bootloader/memory_layout.h"

#include <cstdint>
#include <span>
#include <vector>

namespace zerlin {

struct ProgrammingInput {
    std::span<const MemoryRegion> regions;
    std::span<const std::vector<std::uint8_t>> images;  // one per region, same index
    std::uint8_t bytesPerPacket = 0;
    std::uint8_t bytesPerAddress = 0;
};

// Every report to send, in order, for all regions except configuration regions. The sizes must
// satisfy isUsableLayout and each image must hold at least length x bytesPerAddress bytes.
std::vector<Report> programmingReports(const ProgrammingInput& input);

}  // namespace zerlin
