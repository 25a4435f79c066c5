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

ReplyCheck checkReadBackReply(const Report& reply, const MemoryRegion& region, std::span<const std::uint8_t> image,
                              std::uint8_t bytesPerAddress)
{
    const std::uint32_t address = getLittleEndian32(reply, kAddressOffset);
    const std::size_t size = reply[kCountOffset];
    if (address < region.start || size > kMaxDataPerPacket) return ReplyCheck::OutOfRegion;
    const std::uint64_t first = std::uint64_t{address - region.start} * bytesPerAddress;
    if (first + size > image.size()) return ReplyCheck::OutOfRegion;
    for (std::size_t k = 0; k < size; ++k) {
        if (isPadOffset(k, bytesPerAddress)) continue;  // counted from the reply's first byte
        if (reply[kReportSize - size + k] != image[first + k]) return ReplyCheck::Differs;
    }
    return ReplyCheck::Match;
}

}  // namespace zerlin
