#include "bootloader/hex_loader.h"

#include <algorithm>

namespace zerlin {

namespace {

constexpr std::uint32_t kDataRecord = 0x00;
constexpr std::uint32_t kExtendedSegmentAddressRecord = 0x02;
constexpr std::uint32_t kExtendedLinearAddressRecord = 0x04;

std::uint32_t digitValue(unsigned char c)
{
    if (c >= 'A' && c <= 'F') return c - 'A' + 10u;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10u;
    return static_cast<std::uint16_t>(c - '0');  // digits, and the odd value of anything else
}

bool isTrailingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The text of one line as read: up to an embedded NUL, trailing white space removed.
std::string_view lineText(std::string_view line)
{
    line = line.substr(0, line.find('\0'));
    while (!line.empty() && isTrailingSpace(line.back())) line.remove_suffix(1);
    return line;
}

// Region index containing byte address b, or -1.
int regionOfByteAddress(const ImageSet& target, std::uint64_t byteAddress)
{
    for (std::size_t i = 0; i < target.regions.size(); ++i) {
        const std::uint64_t first = std::uint64_t{target.regions[i].start} * target.bytesPerAddress;
        const std::uint64_t end = regionEnd(target.regions[i]) * target.bytesPerAddress;
        if (byteAddress >= first && byteAddress < end) return static_cast<int>(i);
    }
    return -1;
}

// The byte address the data records that follow are relative to. Kept wide: a base that does not
// fit 32 bits places its data outside every region instead of wrapping onto another address.
std::uint64_t baseOfAddressRecord(const HexRecord& record)
{
    const std::uint64_t value = readHexField(record.body, 8, 2 * std::size_t{record.byteCount});
    return record.type == kExtendedSegmentAddressRecord ? value * 16 : value << 16;
}

void placeData(const HexRecord& record, std::uint64_t baseAddress, const ImageSet& target)
{
    const std::uint64_t byteAddress = baseAddress + record.address;
    const int index = regionOfByteAddress(target, byteAddress);
    if (index < 0) return;
    const MemoryRegion& region = target.regions[static_cast<std::size_t>(index)];
    std::vector<std::uint8_t>& image = target.images[static_cast<std::size_t>(index)];
    const std::uint64_t firstOffset = byteAddress - std::uint64_t{region.start} * target.bytesPerAddress;
    const std::uint64_t limit = std::min<std::uint64_t>(
        (std::uint64_t{region.length} + 1) * target.bytesPerAddress, image.size());
    for (std::uint64_t k = 0; k < record.byteCount && firstOffset + k < limit; ++k)
        image[firstOffset + k] = static_cast<std::uint8_t>(readHexField(record.body, 8 + 2 * k, 2));
}

}  // namespace

std::vector<std::string_view> splitHexLines(std::string_view content)
{
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const std::size_t newline = content.substr(0, kMaxLineChars).find('\n');
        const std::size_t length = newline == std::string_view::npos ? std::min(content.size(), kMaxLineChars)
                                                                     : newline + 1;
        lines.push_back(content.substr(0, length));
        content.remove_prefix(length);
    }
    return lines;
}

std::uint32_t readHexField(std::string_view body, std::size_t first, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = first; i < first + count && i < body.size(); ++i)
        value = value * 16u + digitValue(static_cast<unsigned char>(body[i]));
    return value;
}

HexRecord readHexRecord(std::string_view body)
{
    HexRecord record;
    record.body = body;
    record.byteCount = readHexField(body, 0, 2);
    record.address = readHexField(body, 2, 4);
    record.type = readHexField(body, 6, 2);
    record.checksum = readHexField(body, 8 + 2 * std::size_t{record.byteCount}, 2);
    return record;
}

bool hasValidChecksum(const HexRecord& record)
{
    // Count, both address bytes, type and data: the byte fields at characters 0, 2, ..., 2(n+3).
    std::uint32_t sum = 0;
    for (std::size_t position = 0; position <= 2 * (std::size_t{record.byteCount} + 3); position += 2)
        sum += readHexField(record.body, position, 2);
    return record.checksum == ((0u - sum) & 0xFFu);
}

bool isComplete(const HexRecord& record)
{
    // Head (8 characters), two per data byte, then the two of the checksum.
    return record.body.size() >= 10 + 2 * std::size_t{record.byteCount};
}

HexLoadResult loadHexText(std::string_view content, const ImageSet& target)
{
    std::uint64_t baseAddress = 0;
    std::size_t lineNumber = 0;
    for (std::string_view line : splitHexLines(content)) {
        ++lineNumber;
        const std::string_view text = lineText(line);
        // An empty line repeats nothing new: processing a good record twice changes nothing.
        if (text.empty()) continue;
        if (text.front() != ':') return {HexLoadStatus::MissingStartCharacter, lineNumber};
        const HexRecord record = readHexRecord(text.substr(1));
        if (!isComplete(record)) return {HexLoadStatus::RecordCutShort, lineNumber};
        if (!hasValidChecksum(record)) return {HexLoadStatus::ChecksumMismatch, lineNumber};
        if (record.type == kDataRecord) {
            placeData(record, baseAddress, target);
        } else if (record.type == kExtendedSegmentAddressRecord || record.type == kExtendedLinearAddressRecord) {
            baseAddress = baseOfAddressRecord(record);
        }
    }
    return {};
}

}  // namespace zerlin
