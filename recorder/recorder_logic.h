// The temperature recorder's rules, with no clock, device or workbook: the measuring interval, the
// workbook's name, the cells of its header and of each data row, when a workbook is full, the
// progress animation and the texts of the readouts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A workbook holds at most this many data rows (rows 4 to 65538), so it still fits the 65536-row
// limit of older workbook formats.
inline constexpr std::int32_t kRowsPerWorkbook = 65535;
inline constexpr std::int32_t kFirstDataRow = 4;

struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct LogCell {
    std::int32_t row = 0;     // counted from 1
    std::int32_t column = 0;  // counted from 1
    std::string text;
    bool operator==(const LogCell&) const = default;
};

struct LogMeasurement {
    std::int32_t fanSpeed = 0;
    std::array<std::int32_t, 12> channels{};  // CH1 first
    std::int32_t array1 = 0;
    std::int32_t array2 = 0;
    std::int32_t ambient = 0;
};

// Milliseconds between measurements: the count times a second for unit 0 ("Sec"), times a minute for
// any other unit ("Min"). nullopt when the count is not a whole number from 1 up.
std::optional<int> measureIntervalMs(std::string_view countText, int unitIndex);

// "2026_03_07_14_05_09_temp.xls" for a log started on 7 March 2026 at 14:05:09; a later log of the
// same second takes sequence 2, 3, ... : "2026_03_07_14_05_09_temp_2.xls".
std::string logFileName(const LocalDateTime& start, int sequence = 1);

// The start and sequence of a name logFileName made, exactly as it makes it; nothing for any other
// name (a journal named otherwise is not the recorder's).
struct LogFileNameParts {
    LocalDateTime start;
    int sequence = 1;
};
std::optional<LogFileNameParts> parseLogFileName(std::string_view fileName);

// "14:05:09", the time column of a row.
std::string clockText(const LocalDateTime& moment);

// Row 1: the device; row 3: the column titles. In the order they are written.
std::vector<LogCell> logHeaderCells(std::string_view modelName);

// The cells of the data row that follows logRowCount rows already written, in the order they are
// written: time, the three temperatures, the fan speed, then CH1 to CH12.
std::vector<LogCell> logRowCells(std::int32_t logRowCount, std::string_view time, const LogMeasurement& measurement);

// True when the workbook has taken its last data row and is to be saved and replaced.
bool workbookIsFull(std::int32_t logRowCount);

// The progress animation's next position: one step on, back to 0 after 100.
std::int32_t nextBarStep(std::int32_t barStep);

// Readouts: "23 ℃" (UTF-8) and "1500 rpm".
std::string temperatureText(std::int32_t degrees);
std::string fanSpeedText(std::int32_t rpm);
