// Read-back of the flash (BootCmdGetData): request sizing and the comparison of replies with the
// region images.
#pragma once

#include "bootloader/memory_layout.h"

#include <cstdint>
#include <span>

namespace zerlin {

// Bytes to ask for at address: a full packet, or at the region's end only what is left, rounded
// up to whole address units. The caller advances by bytesPerPacket / bytesPerAddress addresses.
std::uint8_t readBackRequestSize(std::uint64_t address, std::uint64_t end, std::uint8_t bytesPerPacket,
                                 std::uint8_t bytesPerAddress);

Report readBackRequest(std::uint32_t address, std::uint8_t size);

enum class ReplyCheck {
    Match,
    Differs,
    OutOfRegion,   // the reply's address and count do not lie within the region's image
    NotItsAnswer,  // not the read-back reply to the request: another command, address or count
};

// Compares the reply to request with the image bytes at the request's address. Pad bytes, by
// their offset in the image, are ignored.
ReplyCheck checkReadBackReply(const Report& reply, const Report& request, const MemoryRegion& region,
                              std::span<const std::uint8_t> image, std::uint8_t bytesPerAddress);

}  // namespace zerlin
