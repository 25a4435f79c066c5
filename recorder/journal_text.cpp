#include "recorder/journal_text.h"

#include "recorder/workbook/sheet_limits.h"

#include <algorithm>
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

// The length of the UTF-8 sequence that starts text, 0 when it is not a valid one: overlong forms,
// surrogates and code points past U+10FFFF are not.
std::size_t utf8SequenceAt(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;   // the bounds of the second byte, which rule out the bad forms
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    return length;
}

std::string validUtf8(std::string_view text)
{
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceAt(text.substr(at));
        if (length == 0) {
            out += kReplacement;
            ++at;
            continue;
        }
        out += text.substr(at, length);
        at += length;
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
        if (secondTab == std::string_view::npos || line.find('\t', secondTab + 1) != std::string_view::npos) continue;
        LogCell cell;
        if (!positiveNumber(line.substr(0, firstTab), cell.row) ||
            !positiveNumber(line.substr(firstTab + 1, secondTab - firstTab - 1), cell.column))
            continue;
        cell.text = validUtf8(unescaped(line.substr(secondTab + 1)));
        cells.push_back(std::move(cell));
    }
    return cells;
}

std::size_t dropCellsOutsideSheet(std::vector<LogCell>& cells)
{
    return std::erase_if(cells, [](const LogCell& cell) {
        return cell.row > kSheetMaxRow || cell.column > kSheetMaxColumn || cellTextLength(cell.text) > kCellMaxChars;
    });
}

std::size_t dataRowsIn(const std::vector<LogCell>& cells)
{
    std::set<std::int32_t> rows;
    for (const LogCell& cell : cells)
        if (cell.row >= kFirstDataRow) rows.insert(cell.row);
    return rows.size();
}
