// The two data files: DevInfo.DAT's fixed columns and skip rules, Page.DAT's tab switches and the
// active page they leave.
#include "datafiles/dev_info.h"
#include "datafiles/page_settings.h"
#include "datafiles/text_pieces.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// A model row laid out in the file's columns: name 1-28, vidPid 29-45, count 54, chip 73-82.
std::string modelRow(const std::string& name, const std::string& vidPid, char count, const std::string& chip)
{
    std::string row = name;
    row.resize(28, ' ');
    row += vidPid;
    row.resize(53, ' ');
    row += count;
    row.resize(72, ' ');
    return row + chip;
}

const std::string kSeparator(72, '=');
const std::string kHeader = "Model Name                  VID_PID                Arrays     Chip Type";

TEST(DevInfo, ShippedFileHoldsTheThreeModels)
{
    std::ifstream file(LUMARO_SOURCE_DIR "/data/DevInfo.DAT", std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const DevInfoTable table = parseDevInfo(content.str());
    ASSERT_EQ(table.error, "");
    ASSERT_EQ(table.models.size(), 3u);
    EXPECT_EQ(table.models[0].chipType, "LPC1764");
    EXPECT_EQ(table.models[0].arrayCount, 1);
    EXPECT_EQ(table.models[1].arrayCount, 2);
    EXPECT_EQ(table.models[2].vidPid, "VID_04D8&PID_003C");
    EXPECT_EQ(table.models[2].chipType, "47J53");
}

TEST(DevInfo, SkipsSeparatorAndHeaderAndKeepsFileOrder)
{
    const std::string body = kSeparator + "\n" + kHeader + "\n" + kSeparator + "\n" +
                             modelRow("First", "VID_1FC9&PID_0003", '1', "LPC1764") + "\n" +
                             modelRow("Second", "VID_04D8&PID_003C", '2', "47J53");
    const DevInfoTable withoutBreak = parseDevInfo(body);
    const DevInfoTable withBreak = parseDevInfo(body + "\n");
    const DevInfoTable withCrLf = parseDevInfo(body + "\r\n");
    ASSERT_EQ(withoutBreak.models.size(), 2u);
    EXPECT_EQ(withBreak.models.size(), 2u);
    EXPECT_EQ(withCrLf.models.size(), 2u);
    EXPECT_EQ(withCrLf.models[1].chipType, "47J53");
    EXPECT_EQ(withoutBreak.models[0].modelName, "First");
    EXPECT_EQ(withoutBreak.models[1].modelName, "Second");
}

TEST(DevInfo, CutsColumnsByPosition)
{
    const auto row = cutModelRow(modelRow("Tessaray Max \t ", "vid_1fc9&pid_0004", '2', "lpc1764   "));
    ASSERT_TRUE(std::holds_alternative<DeviceModel>(row));
    const DeviceModel& model = std::get<DeviceModel>(row);
    EXPECT_EQ(model.modelName, "Tessaray Max");
    EXPECT_EQ(model.vidPid, "VID_1FC9&PID_0004");
    EXPECT_EQ(model.arrayCount, 2);
    EXPECT_EQ(model.chipType, "LPC1764");

    // The identity column is upper-cased but keeps its blanks; a short row leaves the chip empty.
    const auto shortRow = cutModelRow(modelRow("Short", "VID_04D8", '1', ""));
    ASSERT_TRUE(std::holds_alternative<DeviceModel>(shortRow));
    EXPECT_EQ(std::get<DeviceModel>(shortRow).vidPid, "VID_04D8         ");
    EXPECT_EQ(std::get<DeviceModel>(shortRow).chipType, "");
}

TEST(DevInfo, ANonDigitCountEndsTheReadingWithTheConversionError)
{
    const std::string nameAndIdOnly = "Tessaray TC-100             VID_1FC9&PID_0003";
    ASSERT_EQ(nameAndIdOnly.size(), 45u);
    EXPECT_EQ(std::get<std::string>(cutModelRow(nameAndIdOnly)), "'' is not a valid integer value");
    EXPECT_EQ(std::get<std::string>(cutModelRow(modelRow("X", "VID_1FC9&PID_0003", 'x', "LPC1764"))),
              "'x' is not a valid integer value");

    // A blank line between rows is a row too; the rows before it are kept.
    const DevInfoTable table = parseDevInfo(modelRow("A", "VID_1FC9&PID_0003", '1', "LPC1764") + "\n\n" +
                                            modelRow("B", "VID_1FC9&PID_0004", '1', "LPC1764") + "\n");
    EXPECT_EQ(table.models.size(), 1u);
    EXPECT_EQ(table.error, "'' is not a valid integer value");
}

TEST(DevInfo, HoldsMoreThanAHundredRows)
{
    std::string body;
    for (int i = 0; i < 150; ++i) body += modelRow("Model " + std::to_string(i), "VID_1FC9&PID_0003", '1', "LPC1764") + "\n";
    const DevInfoTable table = parseDevInfo(body);
    EXPECT_EQ(table.error, "");
    ASSERT_EQ(table.models.size(), 150u);
    EXPECT_EQ(table.models[149].modelName, "Model 149");
}

TEST(LinePieces, LongLinesContinueAsFurtherPieces)
{
    const std::string line(150, 'a');
    const auto pieces = splitLinePieces(line + "\nb\n", 149);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 149u);
    EXPECT_EQ(pieces[1], "a");
    EXPECT_EQ(pieces[2], "b");
    EXPECT_EQ(splitLinePieces(std::string(149, 'a'), 149).size(), 1u);
    EXPECT_EQ(splitLinePieces("", 149).size(), 0u);
    EXPECT_EQ(splitLinePieces("\n", 149), std::vector<std::string>{""});
}

TEST(PageDat, CharacterTenOfTheLineSwitchesTheTab)
{
    EXPECT_TRUE(parsePageDat("UpdateFW 1\n").updateTabVisible);
    EXPECT_FALSE(parsePageDat("UpdateFW 0\n").updateTabVisible);
    EXPECT_FALSE(parsePageDat("UpdateFW1\n").updateTabVisible);  // the digit in character 9
    EXPECT_FALSE(parsePageDat("UpdateFW\n").updateTabVisible);
    EXPECT_TRUE(parsePageDat("xUpdateFW1\n").updateTabVisible);  // the key may stand anywhere
    EXPECT_TRUE(parsePageDat("Other=0\n").updateTabVisible);     // a page no line names keeps its tab
    EXPECT_FALSE(parsePageDat("TempTest=1\nTempTest=0\n").recorderTabVisible);  // later lines win

    const EngineeringTabs both = parsePageDat("UpdateFWx0 TempTest\n");
    EXPECT_FALSE(both.updateTabVisible);
    EXPECT_FALSE(both.recorderTabVisible);
}

TEST(PageDat, HidingTheActiveTabMovesOrClearsTheActivePage)
{
    EXPECT_EQ(parsePageDat("UpdateFW=1\nTempTest=1\n").activePage, kRecorderPage);
    EXPECT_EQ(parsePageDat("UpdateFW=1\nTempTest=0\n").activePage, kUpdatePage);
    EXPECT_EQ(parsePageDat("TempTest=0\nUpdateFW=1\n").activePage, kUpdatePage);
    EXPECT_EQ(parsePageDat("UpdateFW=0\nTempTest=1\n").activePage, kRecorderPage);
    EXPECT_EQ(parsePageDat("UpdateFW=0\nTempTest=0\n").activePage, kNoActivePage);
    // A tab shown again after both were hidden takes the log lines again.
    EXPECT_EQ(parsePageDat("UpdateFW=0\nTempTest=0\nUpdateFW=1\n").activePage, kUpdatePage);
}

}  // namespace
