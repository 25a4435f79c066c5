#include "bootloader/memory_layout.h"

#include <gtest/gtest.h>

namespace zerlin {
namespace {

Report queryReply(std::uint8_t bytesPerPacket, std::uint8_t family, const std::vector<MemoryRegion>& regions)
{
    Report reply{};
    reply[1] = BootCmdQuery;
    reply[2] = bytesPerPacket;
    reply[3] = family;
    std::size_t offset = 4;
    for (const MemoryRegion& region : regions) {
        reply[offset] = region.type;
        putLittleEndian32(reply, offset + 1, region.start);
        putLittleEndian32(reply, offset + 5, region.length);
        offset += sizeof(MemoryRegion);
    }
    if (offset + sizeof(MemoryRegion) <= reply.size()) reply[offset] = kRegionListEnd;
    return reply;
}

TEST(QueryReply, RegionsUpToTheListEndAndAtMostFour)
{
    DeviceLayout layout;
    ASSERT_EQ(parseQueryReply(queryReply(56, 1, {{1, 0x1000, 0x1EFF8}, {3, 0x1FFF8, 8}}), layout), LayoutError::None);
    EXPECT_EQ(layout.bytesPerPacket, 56);
    EXPECT_EQ(layout.bytesPerAddress, 1);
    ASSERT_EQ(layout.regions.size(), 2u);
    const MemoryRegion config = layout.regions[1];  // packed: compare copies of its fields
    const std::uint32_t start = config.start;
    const std::uint32_t length = config.length;
    EXPECT_EQ(config.type, 3);
    EXPECT_EQ(start, 0x1FFF8u);
    EXPECT_EQ(length, 8u);

    Report four = queryReply(56, 1, {{1, 0, 1}, {1, 1, 1}, {1, 2, 1}, {1, 3, 1}});
    four[4 + 4 * 9] = 1;  // would-be fifth entry
    ASSERT_EQ(parseQueryReply(four, layout), LayoutError::None);
    EXPECT_EQ(layout.regions.size(), 4u);

    ASSERT_EQ(parseQueryReply(queryReply(56, 1, {}), layout), LayoutError::None);
    EXPECT_TRUE(layout.regions.empty());
}

TEST(QueryReply, FamilyGivesTheAddressWidthAndUnusableLayoutsAreRefused)
{
    DeviceLayout layout;
    ASSERT_EQ(parseQueryReply(queryReply(56, 3, {}), layout), LayoutError::None);
    EXPECT_EQ(layout.bytesPerAddress, 1);
    ASSERT_EQ(parseQueryReply(queryReply(56, 2, {}), layout), LayoutError::None);
    EXPECT_EQ(layout.bytesPerAddress, 2);
    EXPECT_EQ(parseQueryReply(queryReply(56, 4, {}), layout), LayoutError::UnknownFamily);
    EXPECT_EQ(parseQueryReply(queryReply(0, 1, {}), layout), LayoutError::UnusablePacketSize);
    EXPECT_EQ(parseQueryReply(queryReply(1, 2, {}), layout), LayoutError::UnusablePacketSize);
    EXPECT_EQ(parseQueryReply(queryReply(59, 1, {}), layout), LayoutError::UnusablePacketSize);
    EXPECT_EQ(parseQueryReply(queryReply(58, 1, {}), layout), LayoutError::None);
    EXPECT_EQ(parseQueryReply(queryReply(56, 1, {{1, 0xFFFFFF00, 0x200}}), layout), LayoutError::RegionTooLarge);
    EXPECT_EQ(parseQueryReply(queryReply(56, 2, {{1, 0, 0x7FFFFFFF}}), layout), LayoutError::RegionTooLarge);
}

TEST(BlankImage, PadBytesAreZeroWithTwoByteAddressing)
{
    const std::vector<std::uint8_t> wide = blankImage({1, 0, 8}, 2);
    ASSERT_EQ(wide.size(), 18u);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(wide[i], i % 4 == 3 ? 0x00 : 0xFF) << i;
    EXPECT_EQ(blankImage({1, 0, 8}, 1), std::vector<std::uint8_t>(9, 0xFF));
}

}  // namespace
}  // namespace zerlin
