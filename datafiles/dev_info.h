// The table of known controller models (DevInfo.DAT): fixed-column rows, read in file order.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct DeviceModel {
    std::string modelName;  // characters 1-28, trailing blanks and control characters removed
    std::string vidPid;     // characters 29-45, upper-cased, not trimmed
    int arrayCount = 0;     // character 54, a decimal digit
    std::string chipType;   // characters 73-82, upper-cased, trailing blanks removed
};

inline constexpr std::size_t kDevInfoPieceLength = 149;

// The separator line and the column header are no model rows.
bool isDevInfoSkipLine(std::string_view line);

// Cuts one row into its columns. Returns the conversion error's text (naming the offending text)
// when character 54 is not a decimal digit.
std::variant<DeviceModel, std::string> cutModelRow(std::string_view line);

struct DevInfoTable {
    std::vector<DeviceModel> models;  // the rows before the first bad one, in file order
    std::string error;                // empty, or the conversion error that ended the reading
};

DevInfoTable parseDevInfo(std::string_view content);
