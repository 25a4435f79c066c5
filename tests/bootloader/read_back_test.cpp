#include "bootloader/read_back.h"

#include <gtest/gtest.h>

namespace zerlin {
namespace {

Report replyFor(std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    Report reply = readBackRequest(address, static_cast<std::uint8_t>(data.size()));
    std::copy(data.begin(), data.end(), reply.end() - static_cast<std::ptrdiff_t>(data.size()));
    return reply;
}

TEST(ReadBackRequests, FullPacketsAndWhatIsLeftAtTheRegionEnd)
{
    const Report request = readBackRequest(0x12345678, 56);
    EXPECT_EQ(request[1], BootCmdGetData);
    EXPECT_EQ(request[2], 0x78);
    EXPECT_EQ(request[5], 0x12);
    EXPECT_EQ(request[6], 56);

    EXPECT_EQ(readBackRequestSize(0x1000, 0x1000 + 100, 56, 1), 56);
    EXPECT_EQ(readBackRequestSize(0x1000 + 56, 0x1000 + 100, 56, 1), 44);
    EXPECT_EQ(readBackRequestSize(0, 28, 56, 2), 56);
    EXPECT_EQ(readBackRequestSize(20, 28, 56, 2), 16);
    // n not a multiple of w: the rest is rounded up to whole address units.
    EXPECT_EQ(readBackRequestSize(0, 5, 57, 2), 12);
}

TEST(ReadBackReplies, ComparedAtTheReplysOwnAddress)
{
    const MemoryRegion region{1, 0x100, 8};
    std::vector<std::uint8_t> image = blankImage(region, 1);
    image[4] = 0x10;
    image[5] = 0x20;
    EXPECT_EQ(checkReadBackReply(replyFor(0x104, {0x10, 0x20}), region, image, 1), ReplyCheck::Match);
    EXPECT_EQ(checkReadBackReply(replyFor(0x104, {0x10, 0x21}), region, image, 1), ReplyCheck::Differs);
}

TEST(ReadBackReplies, PadBytesAreIgnoredWithTwoByteAddressing)
{
    const MemoryRegion region{1, 0, 4};
    const std::vector<std::uint8_t> image = blankImage(region, 2);
    std::vector<std::uint8_t> data(image.begin(), image.begin() + 8);
    data[3] = 0x77;
    data[7] = 0x88;
    EXPECT_EQ(checkReadBackReply(replyFor(0, data), region, image, 2), ReplyCheck::Match);
    data[2] = 0x00;
    EXPECT_EQ(checkReadBackReply(replyFor(0, data), region, image, 2), ReplyCheck::Differs);
}

TEST(ReadBackReplies, RepliesOutsideTheRegionAreRefused)
{
    const MemoryRegion region{1, 0x100, 8};
    const std::vector<std::uint8_t> image = blankImage(region, 1);
    EXPECT_EQ(checkReadBackReply(replyFor(0xFF, {0xFF}), region, image, 1), ReplyCheck::OutOfRegion);
    EXPECT_EQ(checkReadBackReply(replyFor(0x108, {0xFF, 0xFF}), region, image, 1), ReplyCheck::OutOfRegion);
    Report tooLong = replyFor(0x100, {0xFF});
    tooLong[kCountOffset] = 200;
    EXPECT_EQ(checkReadBackReply(tooLong, region, image, 1), ReplyCheck::OutOfRegion);
}

}  // namespace
}  // namespace zerlin
