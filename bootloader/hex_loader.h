// Intel HEX firmware loading into region images. No I/O: the caller reads the file.
//
// The loader is line-based and tolerant in the way firmware files from the field need: it checks
// each record's start character and checksum, places data records after the base of the last
// extended segment (segment x 16) or extended linear (value x 65536) address record, and skips
// every other record type (end-of-file included; reading goes on to the end).
#pragma once

#include "bootloader/memory_layout.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zerlin {

// Lines are read into a 100-byte buffer: at most 99 characters, line end included. A longer line
// is cut, and its rest is read as a line of its own.
inline constexpr std::size_t kMaxLineChars = 99;

// Splits file content into the lines the loader reads, each with its line end (if any).
std::vector<std::string_view> splitHexLines(std::string_view content);

// The value of the characters [first, first + count) of a record body, clipped to the body (an
// empty field is 0), as a hexadecimal number. Characters are not validated: anything other than a
// hex digit counts as its character code minus 48, taken as an unsigned 16-bit value.
std::uint32_t readHexField(std::string_view body, std::size_t first, std::size_t count);

struct HexRecord {
    std::uint32_t byteCount = 0;
    std::uint32_t address = 0;
    std::uint32_t type = 0;
    std::uint32_t checksum = 0;
    std::string_view body;  // the characters after ':'
};

HexRecord readHexRecord(std::string_view body);
bool hasValidChecksum(const HexRecord& record);
bool isComplete(const HexRecord& record);  // the body holds every data character and the checksum

enum class HexLoadStatus {
    Ok,
    MissingStartCharacter,  // a non-empty line that does not begin with ':'
    ChecksumMismatch,
    RecordCutShort,  // the line ends before the data and checksum its byte count announces
};

struct HexLoadResult {
    HexLoadStatus status = HexLoadStatus::Ok;
    std::size_t lineNumber = 0;  // 1-based line (piece) that was rejected
};

// Where loaded bytes go: the session's regions and one image per region (same index).
struct ImageSet {
    std::span<const MemoryRegion> regions;
    std::span<std::vector<std::uint8_t>> images;
    std::uint8_t bytesPerAddress = 1;
};

// Loads HEX text into the images. Records before a rejected one stay loaded. Data records outside
// every region are dropped; bytes of a record past its region's image are dropped. A record whose
// line is too short for its byte count is rejected: its missing bytes would read as zeros and its
// checksum could still match, so the zeros would be programmed and then verified as right.
HexLoadResult loadHexText(std::string_view content, const ImageSet& target);

}  // namespace zerlin
