#include "recorder/workbook/typed_text.h"

#include <charconv>
#include <cstddef>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t digitsFrom(std::string_view text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end])) ++end;
    return end - at;
}

// "-12", "+7", "36.5", ".5", "5." : what a user may type as a plain number.
bool isPlainNumber(std::string_view text)
{
    std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::size_t whole = digitsFrom(text, at);
    at += whole;
    std::size_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        fraction = digitsFrom(text, at + 1);
        at += 1 + fraction;
    }
    return at == text.size() && whole + fraction > 0;
}

int twoDigits(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// "h:mm:ss" or "hh:mm:ss" within one day.
bool clockTime(std::string_view text, double& dayFraction)
{
    const std::size_t hourDigits = digitsFrom(text, 0);
    if (hourDigits < 1 || hourDigits > 2 || text.size() != hourDigits + 6) return false;
    if (text[hourDigits] != ':' || text[hourDigits + 3] != ':') return false;
    if (digitsFrom(text, hourDigits + 1) != 2 || digitsFrom(text, hourDigits + 4) != 2) return false;
    const int hours = hourDigits == 1 ? text[0] - '0' : twoDigits(text, 0);
    const int minutes = twoDigits(text, hourDigits + 1);
    const int seconds = twoDigits(text, hourDigits + 4);
    if (hours > 23 || minutes > 59 || seconds > 59) return false;
    dayFraction = (hours * 3600 + minutes * 60 + seconds) / 86400.0;
    return true;
}

}  // namespace

bool isMarkedAsText(std::string_view entered)
{
    return entered.starts_with('\'');
}

std::string markedAsText(std::string_view text)
{
    return '\'' + std::string(text);
}

TypedText typeOfEnteredText(std::string_view text)
{
    TypedText typed;
    if (isMarkedAsText(text)) return typed;
    if (clockTime(text, typed.value)) {
        typed.kind = TypedText::TimeOfDay;
        return typed;
    }
    if (!isPlainNumber(text)) return typed;
    // from_chars takes no leading '+'.
    const std::string_view digits = text[0] == '+' ? text.substr(1) : text;
    double number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return typed;
    typed.kind = TypedText::Number;
    typed.value = number;
    return typed;
}

std::size_t shownWidth(std::string_view text)
{
    std::size_t width = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
    return width;
}
