// What one worksheet holds: the workbook server refuses anything beyond, and a journal's cells are
// checked against the same limits before they are written out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::int32_t kSheetMaxRow = 1048576;
inline constexpr std::int32_t kSheetMaxColumn = 16384;
inline constexpr std::size_t kCellMaxChars = 32767;

// The length of a UTF-8 text in the units a cell's limit counts (UTF-16): one per character, two
// for a character beyond U+FFFF.
inline std::size_t cellTextLength(std::string_view utf8)
{
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}
