#include "jobs/update_history_merge.h"

#include "jobs/history_row.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <set>

namespace {

// RFC 4180 fields; nothing when a quote is left open.
std::optional<std::vector<std::string>> csvFieldsOf(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (quoted) return std::nullopt;
    return fields;
}

// The apostrophe that csvField puts before text a spreadsheet would run is its own, not the text's.
std::string_view withoutFormulaGuard(std::string_view field) {
    if (field.size() >= 2 && field.front() == '\'' && std::string_view("=+-@\t\r").find(field[1]) != std::string_view::npos)
        field.remove_prefix(1);
    return field;
}

}  // namespace

std::optional<std::vector<std::string>> historyRowsInTodaysColumns(std::string_view text) {
    if (!text.starts_with(kUtf8ByteOrderMark)) return std::nullopt;
    text.remove_prefix(kUtf8ByteOrderMark.size());
    std::vector<std::string> lines = csvLines(text);
    if (lines.empty()) return std::nullopt;
    std::string today = historyHeaderLine();
    while (!today.empty() && (today.back() == '\n' || today.back() == '\r')) today.pop_back();
    const std::string header = lines.front();
    if (header != today && !(header.starts_with("started,") && today.starts_with(header + ","))) return std::nullopt;
    const std::string newer(static_cast<std::size_t>(std::count(today.begin() + static_cast<std::ptrdiff_t>(header.size()),
                                                                today.end(), ',')), ',');
    lines.erase(lines.begin());
    for (std::string& row : lines)
        if (!row.empty()) row += newer;
    return lines;
}

namespace {

struct TimedRow {
    std::int64_t endMs;
    std::string line;
};

// The rows with the time of their end (the second field); one without a readable end takes the
// time of the row before it, so that it stays behind that row.
std::vector<TimedRow> timed(const std::vector<std::string>& rows) {
    std::vector<TimedRow> result;
    std::int64_t last = 0;
    for (const std::string& row : rows) {
        const auto fields = csvFieldsOf(row);
        if (fields && fields->size() > 1) {
            const QDateTime end = QDateTime::fromString(QString::fromStdString((*fields)[1]), Qt::ISODate);
            if (end.isValid()) last = end.toMSecsSinceEpoch();
        }
        result.push_back({last, row});
    }
    return result;
}

}  // namespace

std::vector<std::string> csvLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

std::optional<std::string> rewrittenRow(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    const auto fields = csvFieldsOf(line);
    if (!fields) return std::nullopt;
    std::string row;
    for (std::size_t i = 0; i < fields->size(); ++i) {
        if (i > 0) row += ',';
        row += csvField(withoutFormulaGuard((*fields)[i]));
    }
    return row + "\r\n";
}

std::vector<std::string> mergedHistoryRows(const std::vector<std::string>& current, const std::vector<std::string>& older) {
    std::set<std::string> present;
    for (const std::string& row : current) present.insert(rewrittenRow(row).value_or(row));
    std::vector<std::string> taken;
    for (const std::string& row : older) {
        std::optional<std::string> rewritten = rewrittenRow(row);
        if (rewritten && present.insert(*rewritten).second) taken.push_back(std::move(*rewritten));
    }
    std::vector<TimedRow> all = timed(current), theirs = timed(taken);
    all.insert(all.end(), std::make_move_iterator(theirs.begin()), std::make_move_iterator(theirs.end()));
    std::stable_sort(all.begin(), all.end(), [](const TimedRow& a, const TimedRow& b) { return a.endMs < b.endMs; });
    std::vector<std::string> rows;
    for (TimedRow& row : all) {
        if (!row.line.ends_with('\n')) row.line += "\r\n";
        rows.push_back(std::move(row.line));
    }
    return rows;
}
