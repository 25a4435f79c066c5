// Page.DAT: which tabs of the engineering panel exist, and so which page is active. The active
// page decides where log lines go.
#pragma once

#include <string_view>

inline constexpr int kUpdatePage = 0;     // the firmware-update page
inline constexpr int kRecorderPage = 1;   // the temperature recorder page
inline constexpr int kNoActivePage = -1;  // both tabs hidden
inline constexpr std::size_t kPageDatPieceLength = 99;

struct EngineeringTabs {
    bool updateTabVisible = true;
    bool recorderTabVisible = true;
    int activePage = kRecorderPage;  // as designed

    // Hiding the active page's tab moves the active page to the other tab when it is visible,
    // else leaves none; showing a tab while none is active makes it active.
    void setTabVisible(int page, bool visible);
};

// Applies one line: a line holding "UpdateFW" or "TempTest" sets that tab from its character 10.
void applyPageLine(std::string_view line, EngineeringTabs& tabs);

// Applies every line of the file, in order, to the designed tabs.
EngineeringTabs parsePageDat(std::string_view content);
