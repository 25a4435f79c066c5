#include "datafiles/page_settings.h"

#include "datafiles/text_pieces.h"

#include <string>

void EngineeringTabs::setTabVisible(int page, bool visible)
{
    (page == kUpdatePage ? updateTabVisible : recorderTabVisible) = visible;
    const int other = page == kUpdatePage ? kRecorderPage : kUpdatePage;
    const bool otherVisible = other == kUpdatePage ? updateTabVisible : recorderTabVisible;
    if (!visible && activePage == page) activePage = otherVisible ? other : kNoActivePage;
    if (visible && activePage == kNoActivePage) activePage = page;
}

void applyPageLine(std::string_view line, EngineeringTabs& tabs)
{
    const bool flag = line.size() >= 10 && line[9] == '1';
    if (line.find("UpdateFW") != std::string_view::npos) tabs.setTabVisible(kUpdatePage, flag);
    if (line.find("TempTest") != std::string_view::npos) tabs.setTabVisible(kRecorderPage, flag);
}

EngineeringTabs parsePageDat(std::string_view content)
{
    EngineeringTabs tabs;
    for (const std::string& line : splitLinePieces(content, kPageDatPieceLength)) applyPageLine(line, tabs);
    return tabs;
}
