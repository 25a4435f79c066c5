#include "datafiles/dev_info.h"

#include "datafiles/text_pieces.h"

#include <algorithm>

namespace {

// Columns are 1-based and inclusive; characters beyond the end of the line are simply absent.
std::string column(std::string_view line, std::size_t first, std::size_t last)
{
    if (line.size() < first) return {};
    return std::string(line.substr(first - 1, last - first + 1));
}

std::string upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    return text;
}

// Removes blanks and control characters at the end.
std::string trimmedRight(std::string text)
{
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
    return text;
}

}  // namespace

bool isDevInfoSkipLine(std::string_view line)
{
    return line.find("========================================================") != std::string_view::npos ||
           line.find("Model Name                  VID_PID") != std::string_view::npos;
}

std::variant<DeviceModel, std::string> cutModelRow(std::string_view line)
{
    const std::string count = column(line, 54, 54);
    if (count.size() != 1 || count[0] < '0' || count[0] > '9')
        return "'" + count + "' is not a valid integer value";
    DeviceModel model;
    model.modelName = trimmedRight(column(line, 1, 28));
    model.vidPid = upperCased(column(line, 29, 45));
    model.arrayCount = count[0] - '0';
    model.chipType = trimmedRight(upperCased(column(line, 73, 82)));
    return model;
}

DevInfoTable parseDevInfo(std::string_view content)
{
    DevInfoTable table;
    for (const std::string& line : splitLinePieces(content, kDevInfoPieceLength)) {
        if (isDevInfoSkipLine(line)) continue;
        auto row = cutModelRow(line);
        if (auto* error = std::get_if<std::string>(&row)) {
            table.error = *error;
            break;
        }
        table.models.push_back(std::get<DeviceModel>(std::move(row)));
    }
    return table;
}
