// The architecture comes from the bus's stand-in only when the process is pointed at a bus, as the
// HID interfaces and drives do: an empty LUMARO_VBUS_DIR points nowhere.
#include "platform/machine/arch.h"

#include "environment.h"

#include <gtest/gtest.h>

namespace {

TEST(ArchSelect, TheBusStandInOnlyWhenABusIsNamed)
{
    bustest::setEnvironment("LUMARO_VBUS_ARCH", "stand-in");
    bustest::setEnvironment("LUMARO_VBUS_DIR", "/nonexistent-bus");
    EXPECT_EQ(platform::processorArchitecture(), "stand-in");
    bustest::setEnvironment("LUMARO_VBUS_DIR", "");
    EXPECT_NE(platform::processorArchitecture(), "stand-in");
    bustest::clearEnvironment("LUMARO_VBUS_DIR");
    EXPECT_NE(platform::processorArchitecture(), "stand-in");
    bustest::clearEnvironment("LUMARO_VBUS_ARCH");
}

}  // namespace
