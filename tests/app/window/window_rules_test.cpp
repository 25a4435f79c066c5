// The window's rules without Qt: which log a line goes to for the active page, and the run time as shown.
#include "app/window/message_routing.h"
#include "app/window/run_time.h"
#include "datafiles/page_settings.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageRouting, ActivePageDecidesTheLog)
{
    EXPECT_EQ(routeMessage(kUpdatePage, kUpdateLogTarget), MessageLog::Update);
    EXPECT_EQ(routeMessage(kUpdatePage, 0), MessageLog::System);
    EXPECT_EQ(routeMessage(kUpdatePage, 7), MessageLog::System);
    EXPECT_EQ(routeMessage(kRecorderPage, kUpdateLogTarget), MessageLog::System);
    EXPECT_EQ(routeMessage(kNoActivePage, kUpdateLogTarget), MessageLog::Dropped);
    EXPECT_EQ(routeMessage(kNoActivePage, 0), MessageLog::Dropped);
}

TEST(RunTime, MinutesColonSecondsWithoutLeadingZeros)
{
    EXPECT_EQ(formatRunTime(0), "0:0");
    EXPECT_EQ(formatRunTime(59'999), "0:59");
    EXPECT_EQ(formatRunTime(65'000), "1:5");
    EXPECT_EQ(formatRunTime(3'600'000), "60:0");
}

}  // namespace
