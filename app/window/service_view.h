// Where the window goes when the service view widens it to show the engineering panel.
#pragma once

struct HorizontalPlacement {
    int left = 0;   // of the window's frame
    int width = 0;  // of the client area
};

// The grown window stays on its screen: as wide as wanted, or as the screen's available width
// allows (the panel then scrolls), and moved left only as far as it must. screenLeft and
// screenWidth give the screen's available area, frameLeft the frame's left edge now, frameExtra
// what the frame adds to the client width.
HorizontalPlacement placeGrownWindow(int screenLeft, int screenWidth, int frameLeft, int frameExtra, int wantedWidth);
