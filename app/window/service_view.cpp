#include "app/window/service_view.h"

#include <algorithm>

HorizontalPlacement placeGrownWindow(int screenLeft, int screenWidth, int frameLeft, int frameExtra, int wantedWidth)
{
    const int width = std::max(0, std::min(wantedWidth, screenWidth - frameExtra));
    const int rightmostLeft = screenLeft + screenWidth - (width + frameExtra);
    return {std::max(screenLeft, std::min(frameLeft, rightmostLeft)), width};
}
