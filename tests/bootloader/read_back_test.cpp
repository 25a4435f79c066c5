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

// Checks a reply against the request it answers rightly.
ReplyCheck check(const Report& reply, const MemoryRegion& region, std::span<const std::uint8_t> image,
                 std::uint8_t bytesPerAddress)
{
    const Report request = readBackRequest(getLittleEndian32(reply, kAddressOffset), reply[kCountOffset]);
    return checkReadBackReply(reply, request, region, image, bytesPerAddress);
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
    EXPECT_EQ(check(replyFor(0x104, {0x10, 0x20}), region, image, 1), ReplyCheck::Match);
    EXPECT_EQ(check(replyFor(0x104, {0x10, 0x21}), region, image, 1), ReplyCheck::Differs);
}

TEST(ReadBackReplies, PadBytesAreIgnoredWithTwoByteAddressing)
{
    const MemoryRegion region{1, 0, 4};
    const std::vector<std::uint8_t> image = blankImage(region, 2);
    std::vector<std::uint8_t> data(image.begin(), image.begin() + 8);
    data[3] = 0x77;
    data[7] = 0x88;
    EXPECT_EQ(check(replyFor(0, data), region, image, 2), ReplyCheck::Match);
    data[2] = 0x00;
    EXPECT_EQ(check(replyFor(0, data), region, image, 2), ReplyCheck::Differs);
}

TEST(ReadBackReplies, RepliesOutsideTheRegionAreRefused)
{
    const MemoryRegion region{1, 0x100, 8};
    const std::vector<std::uint8_t> image = blankImage(region, 1);
    EXPECT_EQ(check(replyFor(0xFF, {0xFF}), region, image, 1), ReplyCheck::OutOfRegion);
    EXPECT_EQ(check(replyFor(0x108, {0xFF, 0xFF}), region, image, 1), ReplyCheck::OutOfRegion);
    Report tooLong = replyFor(0x100, {0xFF});
    tooLong[kCountOffset] = 200;
    EXPECT_EQ(check(tooLong, region, image, 1), ReplyCheck::OutOfRegion);
}

// The board answers in order: a reply must carry the command, address and count of the request
// it is taken for, or it would verify bytes that were never compared.
TEST(ReadBackReplies, AReplyMustAnswerItsRequest)
{
    const MemoryRegion region{1, 0x1000, 0x800};
    const std::vector<std::uint8_t> image = blankImage(region, 1);
    const std::vector<std::uint8_t> blank(56, 0xFF);
    const Report request = readBackRequest(0x1400, 56);
    ASSERT_EQ(checkReadBackReply(replyFor(0x1400, blank), request, region, image, 1), ReplyCheck::Match);

    EXPECT_EQ(checkReadBackReply(replyFor(0x1000, blank), request, region, image, 1), ReplyCheck::NotItsAnswer);
    EXPECT_EQ(checkReadBackReply(replyFor(0x1400, {}), request, region, image, 1), ReplyCheck::NotItsAnswer);
    EXPECT_EQ(checkReadBackReply(replyFor(0x1400, std::vector<std::uint8_t>(40, 0xFF)), request, region, image, 1),
              ReplyCheck::NotItsAnswer);
    Report otherCommand = replyFor(0x1400, blank);
    otherCommand[kCommandOffset] = BootCmdQuery;
    EXPECT_EQ(checkReadBackReply(otherCommand, request, region, image, 1), ReplyCheck::NotItsAnswer);
}

// 58-byte packets hold 29 addresses, so every other packet begins at an odd address: its pad
// bytes are the 2nd, 6th, ... of the reply, not the 4th, 8th, ...
TEST(ReadBackReplies, PadBytesAreFoundByTheirOffsetInTheImage)
{
    const MemoryRegion region{1, 0, 58};
    std::vector<std::uint8_t> image = blankImage(region, 2);
    for (std::size_t i = 0; i < image.size(); ++i)
        if (!isPadOffset(i, 2)) image[i] = static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> data(image.begin() + 58, image.begin() + 116);  // address 29 on
    data[1] = 0x77;                                                           // image offset 59: a pad byte
    EXPECT_EQ(check(replyFor(29, data), region, image, 2), ReplyCheck::Match);
    data[3] ^= 0x01;  // image offset 61: data
    EXPECT_EQ(check(replyFor(29, data), region, image, 2), ReplyCheck::Differs);
}

}  // namespace
}  // namespace zerlin
