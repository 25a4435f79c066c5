// Where the service view puts the grown window: on the screen it is on, moved left only as needed.
#include "app/window/service_view.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWanted = 1521;

TEST(ServiceViewPlacement, TheGrownWindowStaysOnItsScreen)
{
    // Centred on a 1,600-pixel screen: moved left just enough for the whole panel.
    EXPECT_EQ(placeGrownWindow(0, 1600, 431, 0, kWanted).left, 79);
    EXPECT_EQ(placeGrownWindow(0, 1600, 431, 0, kWanted).width, kWanted);
    // Near the left edge already: stays where it is.
    EXPECT_EQ(placeGrownWindow(0, 1920, 20, 2, kWanted).left, 20);
    // The frame counts: 1,521 + 2 must end at 1,600.
    EXPECT_EQ(placeGrownWindow(0, 1600, 431, 2, kWanted).left, 77);
    // A second screen to the right of the first: the window stays on it.
    EXPECT_EQ(placeGrownWindow(1920, 1600, 2351, 0, kWanted).left, 1999);
}

TEST(ServiceViewPlacement, AScreenNarrowerThanThePanelGetsTheWholeWidthAndThePanelScrolls)
{
    const HorizontalPlacement placed = placeGrownWindow(0, 1366, 314, 2, kWanted);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.width, 1364);
    // A window dragged partly off the screen's left edge comes back onto it.
    EXPECT_EQ(placeGrownWindow(100, 1366, 40, 0, kWanted).left, 100);
}

}  // namespace
