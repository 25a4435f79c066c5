#include "journal_text.h"

#include <charconv>
#include <set>

namespace {

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char code = text[++i];
        out += code == 't' ? '\t' : code == 'n' ? '\n' : code == 'r' ? '\r' : code;
    }
    return out;
}

bool positiveNumber(std::string_view text, std::int32_t& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 1;
}

}  // namespace

std::string journalPathOf(std::string_view workbookPath)
{
    return std::string(workbookPath) + std::string(kJournalSuffix);
}

std::string workbookPathOfJournal(std::string_view journalPath)
{
    if (journalPath.size() <= kJournalSuffix.size() || !journalPath.ends_with(kJournalSuffix)) return {};
    return std::string(journalPath.substr(0, journalPath.size() - kJournalSuffix.size()));
}

std::string journalLines(const std::vector<LogCell>& cells)
{
    std::string lines;
    for (const LogCell& cell : cells)
        lines += std::to_string(cell.row) + '\t' + std::to_string(cell.column) + '\t' + escaped(cell.text) + '\n';
    return lines;
}

std::vector<LogCell> journalCells(std::string_view text)
{
    std::vector<LogCell> cells;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;  // unfinished: the row being written
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t firstTab = line.find('\t');
        const std::size_t secondTab = firstTab == std::string_view::npos ? firstTab : line.find('\t', firstTab + 1);
        if (secondTab == std::string_view::npos) continue;
        LogCell cell;
        if (!positiveNumber(line.substr(0, firstTab), cell.row) ||
            !positiveNumber(line.substr(firstTab + 1, secondTab - firstTab - 1), cell.column))
            continue;
        cell.text = unescaped(line.substr(secondTab + 1));
        cells.push_back(std::move(cell));
    }
    return cells;
}

std::size_t dataRowsIn(const std::vector<LogCell>& cells)
{
    std::set<std::int32_t> rows;
    for (const LogCell& cell : cells)
        if (cell.row >= kFirstDataRow) rows.insert(cell.row);
    return rows.size();
}
