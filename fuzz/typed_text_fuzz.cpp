// A text typed into a workbook cell: number, time of day or text.
#include "recorder/workbook/typed_text.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TypedText typed = typeOfEnteredText(text);
    if (typed.kind == TypedText::TimeOfDay && !(typed.value >= 0 && typed.value < 1)) __builtin_trap();
    if (typed.kind == TypedText::Number && !std::isfinite(typed.value)) __builtin_trap();
    if (typed.kind == TypedText::Text && typed.value != 0) __builtin_trap();
    if (shownWidth(text) > text.size()) __builtin_trap();
    return 0;
}
