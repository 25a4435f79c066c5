#include "history_row.h"

#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <map>

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string joinFields(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& field : fields) {
        if (&field != fields.begin()) line += ',';
        line += csvField(field);
    }
    line += kLineEnd;
    return line;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string escapeMarkerValue(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\') escaped += "\\\\";
        else if (c == '\n') escaped += "\\n";
        else if (c == '\r') escaped += "\\r";
        else escaped += c;
    }
    return escaped;
}

std::string unescapeMarkerValue(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return text;
}

template <typename Number>
std::optional<Number> numberOf(const std::string& text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string csvField(std::string_view text) {
    // A spreadsheet program takes a cell that begins so as a formula and runs it; after an
    // apostrophe it shows the text as it is (without the apostrophe).
    const bool wouldRun = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    if (!wouldRun && text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = wouldRun ? "\"'" : "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string fileNameOf(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string isoLocalTime(int year, int month, int day, int hour, int minute, int second, int utcOffsetSeconds) {
    const char sign = utcOffsetSeconds < 0 ? '-' : '+';
    const int offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day, hour, minute, second,
                  sign, offsetMinutes / 60, offsetMinutes % 60);
    return text;
}

std::string historyHeaderLine() {
    return joinFields({"started", "ended", "seconds", "job", "model", "vidPid", "chip type", "firmware file",
                       "firmware SHA-256", "image data file", "image data SHA-256", "image data records", "result",
                       "step", "error", "program version", "computer", "signatures"});
}

std::string historyRowLine(const HistoryEntry& entry) {
    return joinFields({entry.started, entry.ended, secondsText(entry.seconds), entry.job, entry.modelName, entry.vidPid,
                       entry.chipType, fileNameOf(entry.firmwarePath), entry.firmwareSha256, fileNameOf(entry.imagePath),
                       entry.imageSha256, entry.imageRecords ? std::to_string(*entry.imageRecords) : std::string(),
                       entry.result, std::string(jobStepName(entry.step)), entry.error, entry.programVersion,
                       entry.computerName, entry.signatures});
}

std::string markerText(const HistoryEntry& entry) {
    const std::initializer_list<std::pair<std::string_view, std::string>> fields{
        {"started", entry.started},
        {"updated", entry.ended},
        {"seconds", secondsText(entry.seconds)},
        {"job", entry.job},
        {"model", entry.modelName},
        {"vidPid", entry.vidPid},
        {"chip", entry.chipType},
        {"firmware", entry.firmwarePath},
        {"firmwareSha256", entry.firmwareSha256},
        {"image", entry.imagePath},
        {"imageSha256", entry.imageSha256},
        {"imageRecords", entry.imageRecords ? std::to_string(*entry.imageRecords) : std::string()},
        {"step", std::string(jobStepName(entry.step))},
        {"version", entry.programVersion},
        {"computer", entry.computerName},
        {"port", entry.port},
        {"disk", entry.diskIdentity},
        {"signatures", entry.signatures},
    };
    std::string text = "lumaro-job-marker 1\n";
    for (const auto& [key, value] : fields) text += std::string(key) + '=' + escapeMarkerValue(value) + '\n';
    return text;
}

std::optional<HistoryEntry> parseMarker(std::string_view text) {
    constexpr std::string_view kFirstLine = "lumaro-job-marker ";
    if (!text.starts_with(kFirstLine)) return std::nullopt;
    std::map<std::string, std::string, std::less<>> values;
    std::size_t lineStart = text.find('\n');
    while (lineStart != std::string_view::npos && lineStart + 1 < text.size()) {
        const std::size_t begin = lineStart + 1;
        lineStart = text.find('\n', begin);
        const std::string_view line = text.substr(begin, lineStart == std::string_view::npos ? text.npos : lineStart - begin);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        values[std::string(line.substr(0, equals))] = unescapeMarkerValue(line.substr(equals + 1));
    }
    if (values["job"].empty() || values["started"].empty()) return std::nullopt;
    HistoryEntry entry;
    entry.started = values["started"];
    entry.ended = values["updated"];
    // Written back in a row, a number of any size would not fit its field: a record from elsewhere
    // gives only a length a job can have (less than a year), else none.
    const double seconds = numberOf<double>(values["seconds"]).value_or(0);
    entry.seconds = seconds >= 0 && seconds < 366 * 24 * 3600 ? seconds : 0;
    entry.job = values["job"];
    entry.modelName = values["model"];
    entry.vidPid = values["vidPid"];
    entry.chipType = values["chip"];
    entry.firmwarePath = values["firmware"];
    entry.firmwareSha256 = values["firmwareSha256"];
    entry.imagePath = values["image"];
    entry.imageSha256 = values["imageSha256"];
    entry.imageRecords = numberOf<std::int64_t>(values["imageRecords"]);
    entry.step = jobStepFromName(values["step"]).value_or(JobStep::None);
    entry.programVersion = values["version"];
    entry.computerName = values["computer"];
    entry.port = values["port"];
    entry.diskIdentity = values["disk"];
    entry.signatures = values["signatures"];
    return entry;
}
