// zerlin-tool's own checks and its progress lines.
#include "bootloader/tool_plan.h"
#include "bootloader/tool_progress.h"
#include "hex_test_support.h"

#include <gtest/gtest.h>

namespace zerlin {
namespace {

using test::dataRecord;
using test::sequence;

TEST(ToolPlan, CountsWhatTheStepsMoveAndOnlyDataForProgrammedRegions)
{
    const DeviceLayout layout{56, 1, {{1, 0x1000, 0x100}, {kConfigRegionType, 0x1FFF8, 8}}};
    // Data in the program region, a blank packet's worth skipped, and configuration bytes.
    const std::string text = dataRecord(0x1000, sequence(20)) + dataRecord(0x1080, sequence(4)) +
                             ":020000040001F9\n" + dataRecord(0xFFF8, {1, 2});
    const FlashPlan plan = planFlash(layout, text);
    EXPECT_EQ(plan.memoryBytes, 0x100u);
    EXPECT_EQ(plan.programBytes, 56u + 56u);  // the packets at 0x1000 and 0x1070 go out whole

    EXPECT_EQ(planFlash(layout, ":020000040001F9\n" + dataRecord(0xFFF8, {1, 2})).programBytes, 0u);
    EXPECT_EQ(planFlash(layout, dataRecord(0x2000, sequence(16))).programBytes, 0u);
    EXPECT_EQ(describeProgramRegions(layout), "0x1000-0x10FF");
}

TEST(ToolPlan, RejectionsNameTheLine)
{
    const HexLoadResult result = checkHexText(dataRecord(0, {1}) + "\n:10101000D0\n");
    EXPECT_EQ(describeRejection(result), "line 3 ends before the data its byte count announces");
    EXPECT_EQ(describeRejection(checkHexText(":00000001FE\n")), "line 1 has a wrong checksum");
    EXPECT_EQ(checkHexText(dataRecord(0, {1})).status, HexLoadStatus::Ok);
}

TEST(ToolProgress, LinesShowBytesTimeAndRate)
{
    EXPECT_EQ(formatBytes(512), "512 B");
    EXPECT_EQ(formatBytes(24 * 1024 + 512), "24.5 KiB");
    EXPECT_EQ(formatBytes(3 * 1024 * 1024 / 2), "1.50 MiB");

    const std::string running = barLine("verify", 2048, 0.3, false);
    EXPECT_NE(running.find("[   ======"), std::string::npos) << running;
    EXPECT_NE(running.find("2.0 KiB  0.3 s"), std::string::npos) << running;
    EXPECT_EQ(barLine("verify", 2048, 0.3, false).size(), barLine("verify", 2048, 2.5, false).size());

    const std::string done = barLine("verify", 2048, 0.5, true);
    EXPECT_NE(done.find("[########################]  2.0 KiB in 0.5 s, 4.0 KiB/s"), std::string::npos) << done;
    EXPECT_EQ(plainLine("erase", 1024, 0.0), "erase                        ok  1.0 KiB in 0.0 s, 1000.0 KiB/s");
}

}  // namespace
}  // namespace zerlin
