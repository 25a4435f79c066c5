#include "bootloader/read_back.h"

namespace zerlin {

std::uint8_t readBackRequestSize(std::uint64_t address, std::uint64_t end, std::uint8_t bytesPerPacket,
                                 std::uint8_t bytesPerAddress)
{
    const std::uint64_t addressesPerPacket = bytesPerPacket / bytesPerAddress;
    std::uint64_t size = bytesPerPacket;
    if (address + addressesPerPacket > end) size -= (address + addressesPerPacket - end) * bytesPerAddress;
    if (size % bytesPerAddress != 0) size += bytesPerAddress - size % bytesPerAddress;
    return static_cast<std::uint8_t>(size);
}

Report readBackRequest(std::uint32_t address, std::uint8_t size)
{
    Report request = commandPacket(BootCmdGetData);
    putLittleEndian32(request, kAddressOffset, address);
    request[kCountOffset] = size;
    return request;
}

ReplyCheck checkReadBackReply(const Report& reply, const Report& request, const MemoryRegion& region,
                              std::span<const std::uint8_t> image, std::uint8_t bytesPerAddress)
{
    const std::uint32_t address = getLittleEndian32(request, kAddressOffset);
    const std::size_t size = request[kCountOffset];
    // A reply that answers some other request would compare other bytes than the ones asked for.
    if (reply[kCommandOffset] != BootCmdGetData || getLittleEndian32(reply, kAddressOffset) != address ||
        reply[kCountOffset] != size)
        return ReplyCheck::NotItsAnswer;
    if (address < region.start || size > kMaxDataPerPacket) return ReplyCheck::OutOfRegion;
    const std::uint64_t first = std::uint64_t{address - region.start} * bytesPerAddress;
    if (first + size > image.size()) return ReplyCheck::OutOfRegion;
    for (std::size_t k = 0; k < size; ++k) {
        // A packet may begin at an odd address, so a pad byte is found by where it lies in the image.
        if (isPadOffset(first + k, bytesPerAddress)) continue;
        if (reply[kReportSize - size + k] != image[first + k]) return ReplyCheck::Differs;
    }
    return ReplyCheck::Match;
}

}  // namespace zerlin
