#include "bootloader/program_packets.h"

#include <gtest/gtest.h>

namespace zerlin {
namespace {

struct Programming {
    std::vector<MemoryRegion> regions;
    std::vector<std::vector<std::uint8_t>> images;
    std::uint8_t n = 56;
    std::uint8_t w = 1;

    void add(std::uint8_t type, std::uint32_t start, std::uint32_t length)
    {
        regions.push_back({type, start, length});
        images.push_back(blankImage(regions.back(), w));
    }
    std::vector<Report> reports() const { return programmingReports({regions, images, n, w}); }
};

std::uint32_t addressOf(const Report& r) { return getLittleEndian32(r, kAddressOffset); }

bool isPlainProgramComplete(const Report& r) { return r == commandPacket(BootCmdProgramComplete); }

TEST(ProgramPackets, FullRegionIsCutIntoRightAlignedPackets)
{
    Programming p;
    p.add(1, 0x1000, 100);
    for (std::size_t i = 0; i < 100; ++i) p.images[0][i] = static_cast<std::uint8_t>(i);
    const std::vector<Report> reports = p.reports();
    ASSERT_EQ(reports.size(), 3u);

    const Report& first = reports[0];
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[1], BootCmdProgram);
    EXPECT_EQ(addressOf(first), 0x1000u);
    EXPECT_EQ(first[6], 56);
    EXPECT_EQ(first[9], 0);   // data starts at 65 - 56 = 9
    EXPECT_EQ(first[64], 55);

    const Report& second = reports[1];
    EXPECT_EQ(addressOf(second), 0x1000u + 56);
    EXPECT_EQ(second[6], 44);
    for (std::size_t offset = 7; offset <= 20; ++offset) EXPECT_EQ(second[offset], 0) << offset;
    for (std::size_t offset = 21; offset <= 64; ++offset) EXPECT_EQ(second[offset], offset - 21 + 56) << offset;

    // The region's closing flush is the last packet with its command changed.
    Report expectedClose = second;
    expectedClose[1] = BootCmdProgramComplete;
    EXPECT_EQ(reports[2], expectedClose);
}

TEST(ProgramPackets, BlankPacketsAreSkippedAndAFlushPrecedesTheNextData)
{
    Programming blank;
    blank.add(1, 0, 200);
    ASSERT_EQ(blank.reports().size(), 1u);  // only the region's closing flush
    EXPECT_EQ(blank.reports()[0][1], BootCmdProgramComplete);

    Programming p;
    p.n = 8;
    p.add(1, 0, 32);  // four packets: data, blank, blank, data
    p.images[0][0] = 0x01;
    p.images[0][31] = 0x02;
    const std::vector<Report> reports = p.reports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(addressOf(reports[0]), 0u);
    EXPECT_TRUE(isPlainProgramComplete(reports[1]));
    EXPECT_EQ(reports[2][1], BootCmdProgram);
    EXPECT_EQ(addressOf(reports[2]), 24u);
    EXPECT_EQ(reports[2][64], 0x02);
    EXPECT_EQ(reports[3][1], BootCmdProgramComplete);
}

TEST(ProgramPackets, TwoByteAddressingCountsPadBytesAsBlank)
{
    Programming p;
    p.w = 2;
    p.n = 8;  // four addresses per packet
    p.add(1, 0x100, 8);
    for (std::size_t i = 3; i < p.images[0].size(); i += 4) p.images[0][i] = 0x5A;  // only pad bytes set
    EXPECT_EQ(p.reports().size(), 1u);

    p.images[0][8] = 0x12;  // address 0x104, first byte: data
    const std::vector<Report> reports = p.reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(isPlainProgramComplete(reports[0]));
    EXPECT_EQ(addressOf(reports[1]), 0x104u);
    EXPECT_EQ(reports[1][6], 8);
    EXPECT_EQ(reports[1][65 - 8], 0x12);
    EXPECT_EQ(reports[1][64], 0x5A);  // the pad byte travels with its packet
}

TEST(ProgramPackets, ConfigurationRegionsAreLeftOutAndEmptyRegionsStillClose)
{
    Programming p;
    p.n = 4;
    p.add(1, 0, 4);
    p.add(kConfigRegionType, 0x300000, 4);
    p.add(1, 0x8000, 0);
    p.images[0] = {1, 2, 3, 4, 0xFF};
    p.images[1] = {9, 9, 9, 9, 0xFF};
    const std::vector<Report> reports = p.reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0][1], BootCmdProgram);
    Report close = reports[0];
    close[1] = BootCmdProgramComplete;
    EXPECT_EQ(reports[1], close);  // end of the first region
    EXPECT_EQ(reports[2], close);  // the empty region closes with the last packet built
}

}  // namespace
}  // namespace zerlin
