#include "recorder/recorder_logic.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr const char* kDegreesCelsius = "\xE2\x84\x83";  // U+2103

constexpr std::int32_t kTimeColumn = 1;
constexpr std::int32_t kArray1Column = 3;
constexpr std::int32_t kArray2Column = 4;
constexpr std::int32_t kAmbientColumn = 5;
constexpr std::int32_t kFanColumn = 7;
constexpr std::int32_t kFirstChannelColumn = 9;

}  // namespace

std::optional<int> measureIntervalMs(std::string_view countText, int unitIndex)
{
    int count = 0;
    const auto [end, error] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
    if (error != std::errc() || end != countText.data() + countText.size() || countText.empty()) return std::nullopt;
    const int unitMs = unitIndex == 0 ? 1000 : 60000;
    if (count < 1 || count > INT32_MAX / unitMs) return std::nullopt;
    return count * unitMs;
}

std::string logFileName(const LocalDateTime& start, int sequence)
{
    char name[64];
    std::snprintf(name, sizeof name, "%04d_%02d_%02d_%02d_%02d_%02d_temp", start.year, start.month, start.day,
                  start.hour, start.minute, start.second);
    return std::string(name) + (sequence > 1 ? "_" + std::to_string(sequence) : std::string()) + ".xls";
}

std::optional<LogFileNameParts> parseLogFileName(std::string_view fileName)
{
    // Fixed-width fields, then an optional sequence: read back, and accepted only when the name made
    // from what was read is the name itself (no sign, no leading zero, no other date form).
    constexpr std::size_t kStampLength = 19;  // "2026_03_07_14_05_09"
    if (fileName.size() < kStampLength + 9) return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t length) {
        int value = -1;
        const char* first = fileName.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        return error == std::errc() && end == first + length ? value : -1;
    };
    LogFileNameParts parts;
    parts.start = {field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
    const LocalDateTime& start = parts.start;
    if (start.year < 0 || start.month < 1 || start.month > 12 || start.day < 1 || start.day > 31 || start.hour < 0 ||
        start.hour > 23 || start.minute < 0 || start.minute > 59 || start.second < 0 || start.second > 60)
        return std::nullopt;
    constexpr std::string_view kSequenceMark = "_temp_";
    const std::string_view rest = fileName.substr(kStampLength);
    if (rest.starts_with(kSequenceMark) && rest.size() > kSequenceMark.size() + 4) {
        const std::size_t digits = rest.size() - kSequenceMark.size() - 4;
        if (digits > 9) return std::nullopt;
        parts.sequence = field(kStampLength + kSequenceMark.size(), digits);
        if (parts.sequence < 2) return std::nullopt;
    }
    if (logFileName(parts.start, parts.sequence) != fileName) return std::nullopt;
    return parts;
}

std::string clockText(const LocalDateTime& moment)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", moment.hour, moment.minute, moment.second);
    return text;
}

std::vector<LogCell> logHeaderCells(std::string_view modelName)
{
    std::vector<LogCell> cells{{1, kTimeColumn, "Measure Device : " + std::string(modelName)},
                               {3, kTimeColumn, "Time"},
                               {3, kArray1Column, "Array 1"},
                               {3, kArray2Column, "Array 2"},
                               {3, kAmbientColumn, "Ambient"},
                               {3, kFanColumn, "Fan Spped"}};
    for (std::int32_t channel = 1; channel <= 12; ++channel)
        cells.push_back({3, kFirstChannelColumn + channel - 1, "CH " + std::to_string(channel)});
    return cells;
}

std::vector<LogCell> logRowCells(std::int32_t logRowCount, std::string_view time, const LogMeasurement& measurement)
{
    const std::int32_t row = logRowCount + kFirstDataRow;
    std::vector<LogCell> cells{{row, kTimeColumn, std::string(time)},
                               {row, kArray1Column, std::to_string(measurement.array1)},
                               {row, kArray2Column, std::to_string(measurement.array2)},
                               {row, kAmbientColumn, std::to_string(measurement.ambient)},
                               {row, kFanColumn, std::to_string(measurement.fanSpeed)}};
    for (std::size_t channel = 0; channel < measurement.channels.size(); ++channel)
        cells.push_back({row, kFirstChannelColumn + static_cast<std::int32_t>(channel),
                         std::to_string(measurement.channels[channel])});
    return cells;
}

bool workbookIsFull(std::int32_t logRowCount)
{
    return logRowCount >= kRowsPerWorkbook;
}

std::int32_t nextBarStep(std::int32_t barStep)
{
    return barStep + 1 > 100 ? 0 : barStep + 1;
}

std::string temperatureText(std::int32_t degrees)
{
    return std::to_string(degrees) + ' ' + kDegreesCelsius;
}

std::string fanSpeedText(std::int32_t rpm)
{
    return std::to_string(rpm) + " rpm";
}
