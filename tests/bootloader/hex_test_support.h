// Builds Intel HEX records with correct checksums for the loader's tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zerlin::test {

inline std::string hexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    std::string line = ":";
    char digits[3];
    for (std::uint8_t b : bytes) {
        sum = static_cast<std::uint8_t>(sum + b);
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", static_cast<std::uint8_t>(-sum));
    return line + digits + "\n";
}

inline std::string dataRecord(std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    return hexRecord(0x00, address, data);
}

inline std::vector<std::uint8_t> sequence(std::size_t count, std::uint8_t first = 0)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

}  // namespace zerlin::test
