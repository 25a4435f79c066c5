#include "bootloader/hex_loader.h"
#include "hex_test_support.h"

#include <gtest/gtest.h>

#include <cctype>

namespace zerlin {
namespace {

using test::dataRecord;
using test::hexRecord;
using test::sequence;

// A session's worth of regions and blank images for the loader to fill.
struct Images {
    Images(std::vector<MemoryRegion> regionList, std::uint8_t width) : regions(std::move(regionList)), w(width)
    {
        for (const MemoryRegion& region : regions) images.push_back(blankImage(region, w));
    }
    HexLoadResult load(std::string_view text) { return loadHexText(text, ImageSet{regions, images, w}); }

    std::vector<MemoryRegion> regions;
    std::vector<std::vector<std::uint8_t>> images;
    std::uint8_t w;
};

TEST(HexFields, HexDigitsInEitherCaseAndTheOddValueOfOtherCharacters)
{
    EXPECT_EQ(readHexField("1aF0", 0, 4), 0x1AF0u);
    EXPECT_EQ(readHexField("1Af0", 0, 4), 0x1AF0u);
    EXPECT_EQ(readHexField("G", 0, 1), 23u);       // 'G' - '0'
    EXPECT_EQ(readHexField(" ", 0, 1), 65520u);    // ' ' - '0' as an unsigned 16-bit value
    EXPECT_EQ(readHexField("12", 1, 4), 2u);       // clipped to the line
    EXPECT_EQ(readHexField("12", 5, 2), 0u);       // empty field
}

TEST(HexLines, LinesAreCutAfterNinetyNineCharacters)
{
    const std::string longLine = std::string(120, 'A') + "\n";
    const std::string content = ":0\n" + longLine + "tail";
    const std::vector<std::string_view> lines = splitHexLines(content);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], ":0\n");
    EXPECT_EQ(lines[1].size(), 99u);
    EXPECT_EQ(lines[2], std::string(21, 'A') + "\n");
    EXPECT_EQ(lines[3], "tail");
}

TEST(HexLoader, PlacesDataRecordsAndFollowsExtendedLinearAddresses)
{
    Images set({{1, 0x0000, 0x20}, {1, 0x10000, 0x10}}, 1);
    const std::string text = ":00000001FF\n" + dataRecord(0x0004, {0x11, 0x22}) +  // reading goes on after EOF
                             ":020000040001F9\n" + dataRecord(0x0000, {0xAB}) + dataRecord(0x0001, {0xCD});
    EXPECT_EQ(set.load(text).status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0][4], 0x11);
    EXPECT_EQ(set.images[0][5], 0x22);
    EXPECT_EQ(set.images[1][0], 0xAB);
    EXPECT_EQ(set.images[1][1], 0xCD);
}

// A segment record's base is its value times 16; the last address record of either kind sets the
// base of the data records that follow.
TEST(HexLoader, ExtendedSegmentAddressesPlaceDataAtSegmentTimesSixteen)
{
    Images set({{1, 0x1000, 0x20}, {1, 0x11000, 0x20}, {1, 0x20000, 0x10}}, 1);
    const std::string text = hexRecord(0x02, 0, {0x10, 0x00}) + dataRecord(0x1000, {0xAB}) +  // 0x10000 + 0x1000
                             hexRecord(0x04, 0, {0x00, 0x02}) + dataRecord(0x0003, {0xCD}) +
                             hexRecord(0x02, 0, {0x00, 0x00}) + dataRecord(0x1001, {0xEF});
    ASSERT_EQ(set.load(text).status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[1][0], 0xAB);
    EXPECT_EQ(set.images[0][0], 0xFF) << "segment data placed without its segment";
    EXPECT_EQ(set.images[2][3], 0xCD);
    EXPECT_EQ(set.images[0][1], 0xEF);
}

// An address record with more data than its two bytes gives a base past 32 bits: its data lies
// in no region, rather than wrapping round onto the start of the flash.
TEST(HexLoader, ABasePastThirtyTwoBitsPlacesNothing)
{
    Images set({{1, 0x0000, 0x20}}, 1);
    for (const std::uint8_t type : {std::uint8_t{0x02}, std::uint8_t{0x04}}) {
        SCOPED_TRACE(int{type});
        const std::vector<std::uint8_t> base =
            type == 0x04 ? std::vector<std::uint8_t>{0x01, 0x00, 0x00} : std::vector<std::uint8_t>{0x10, 0x00, 0x00, 0x00};
        ASSERT_EQ(set.load(hexRecord(type, 0, base) + dataRecord(0x0000, {0x12})).status, HexLoadStatus::Ok);
        EXPECT_EQ(set.images[0][0], 0xFF);
    }
}

TEST(HexLoader, LowerCaseDigitsLoadLikeUpperCase)
{
    Images upper({{1, 0, 8}}, 1);
    Images lower({{1, 0, 8}}, 1);
    const std::string record = dataRecord(0, {0xAB, 0xCD, 0xEF});
    std::string lowered = record;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(upper.load(record).status, HexLoadStatus::Ok);
    ASSERT_EQ(lower.load(lowered).status, HexLoadStatus::Ok);
    EXPECT_EQ(upper.images, lower.images);
}

TEST(HexLoader, TwoByteAddressingMapsByteAddressesToTwiceTheDeviceAddress)
{
    Images set({{1, 0x200, 0x10}}, 2);
    ASSERT_EQ(set.load(dataRecord(0x400, {0x01, 0x02, 0x03})).status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0][0], 0x01);
    EXPECT_EQ(set.images[0][2], 0x03);
}

TEST(HexLoader, RecordsAreMatchedToARegionByTheirFirstByteOnly)
{
    Images set({{1, 0x10, 0x10}}, 1);
    const std::vector<std::uint8_t> blank = set.images[0];
    // Starts one byte before the region: dropped whole, although the rest would fit.
    EXPECT_EQ(set.load(dataRecord(0x0F, {1, 2, 3, 4})).status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0], blank);
    // Starts in the region and runs past it: kept up to the image buffer's end, rest dropped.
    EXPECT_EQ(set.load(dataRecord(0x1E, {1, 2, 3, 4, 5})).status, HexLoadStatus::Ok);
    ASSERT_EQ(set.images[0].size(), 0x11u);
    EXPECT_EQ(set.images[0][0x0E], 1);
    EXPECT_EQ(set.images[0][0x0F], 2);
    EXPECT_EQ(set.images[0][0x10], 3);  // the spare address unit past the region
}

TEST(HexLoader, FortyFourDataBytesFitALineAndFortyFiveDoNot)
{
    Images fits({{1, 0, 0x100}}, 1);
    const std::string longest = dataRecord(0, sequence(44, 1));
    ASSERT_EQ(longest.size(), 100u);  // 99 characters and the line end
    EXPECT_EQ(fits.load(longest).status, HexLoadStatus::Ok);
    EXPECT_EQ(fits.images[0][43], 44);
    // Also with a CR LF line end, which then spills into a line of its own.
    std::string crlf = longest;
    crlf.insert(crlf.size() - 1, "\r");
    EXPECT_EQ(fits.load(crlf + longest).status, HexLoadStatus::Ok);

    Images tooLong({{1, 0, 0x100}}, 1);
    const HexLoadResult result = tooLong.load(dataRecord(0, sequence(45, 1)));
    EXPECT_NE(result.status, HexLoadStatus::Ok);
}

TEST(HexLoader, BlankLinesAnywhereAndAnEmptyFileAreAccepted)
{
    Images set({{1, 0, 8}}, 1);
    EXPECT_EQ(set.load("").status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0], blankImage({1, 0, 8}, 1));
    EXPECT_EQ(set.load("\n  \t\r\n" + dataRecord(1, {7}) + "\n\n" + ":00000001FF").status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0][1], 7);
}

TEST(HexLoader, RejectsABadStartOrChecksumAndKeepsWhatCameBefore)
{
    Images set({{1, 0, 8}}, 1);
    std::string corrupted = dataRecord(2, {0x55});
    corrupted[corrupted.size() - 2] = corrupted[corrupted.size() - 2] == '0' ? '1' : '0';
    HexLoadResult result = set.load(dataRecord(1, {0x44}) + corrupted + dataRecord(3, {0x66}));
    EXPECT_EQ(result.status, HexLoadStatus::ChecksumMismatch);
    EXPECT_EQ(result.lineNumber, 2u);
    EXPECT_EQ(set.images[0][1], 0x44);
    EXPECT_EQ(set.images[0][2], 0xFF);
    EXPECT_EQ(set.images[0][3], 0xFF);

    result = set.load(" " + dataRecord(0, {0x01}));  // leading white space is not skipped
    EXPECT_EQ(result.status, HexLoadStatus::MissingStartCharacter);
    EXPECT_EQ(result.lineNumber, 1u);
}

TEST(HexLoader, ARecordCutShortOfItsByteCountFailsTheLoad)
{
    Images set({{1, 0x1000, 0x100}}, 1);
    // Sixteen bytes announced, one carried: the empty checksum field reads 0 and matches.
    HexLoadResult result = set.load(dataRecord(0x1000, {0x11}) + ":10101000D0\n");
    EXPECT_EQ(result.status, HexLoadStatus::RecordCutShort);
    EXPECT_EQ(result.lineNumber, 2u);
    EXPECT_EQ(set.images[0][0], 0x11);
    EXPECT_EQ(set.images[0][0x10], 0xFF);

    // All data but no checksum is cut short too; a complete record with trailing junk still loads.
    const std::string record = dataRecord(0x1020, {1, 2, 3, 4});
    const std::string withoutChecksum = record.substr(0, record.size() - 3) + "\n";
    EXPECT_EQ(set.load(withoutChecksum).status, HexLoadStatus::RecordCutShort);
    EXPECT_EQ(set.load(":00000001FF\n").status, HexLoadStatus::Ok);
    EXPECT_EQ(set.load(record.substr(0, record.size() - 1) + "zz\n").status, HexLoadStatus::Ok);
    EXPECT_EQ(set.images[0][0x23], 4);
}

TEST(HexLoader, WithoutRegionsEveryDataRecordIsDropped)
{
    Images set({}, 1);
    EXPECT_EQ(set.load(dataRecord(0, {1, 2, 3})).status, HexLoadStatus::Ok);
}

}  // namespace
}  // namespace zerlin
