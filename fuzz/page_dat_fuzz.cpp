// Page.DAT, which tabs of the engineering panel exist.
#include "datafiles/page_settings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const EngineeringTabs tabs = parsePageDat(std::string_view(reinterpret_cast<const char*>(data), size));
    // The active page is always one whose tab is shown, or none when both are hidden.
    switch (tabs.activePage) {
    case kUpdatePage:
        if (!tabs.updateTabVisible) __builtin_trap();
        break;
    case kRecorderPage:
        if (!tabs.recorderTabVisible) __builtin_trap();
        break;
    case kNoActivePage:
        if (tabs.updateTabVisible || tabs.recorderTabVisible) __builtin_trap();
        break;
    default: __builtin_trap();
    }
    return 0;
}
