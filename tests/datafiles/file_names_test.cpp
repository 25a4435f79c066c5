// What the firmware scan and the log list take from a file's name.
#include "datafiles/file_names.h"

#include <gtest/gtest.h>

namespace {

TEST(FirmwareNames, MarkersAreFoundInAnyCase)
{
    const FirmwareFileKind lower = classifyFirmwareFile("tessaray_fw_1.0.3.bin");
    EXPECT_EQ(lower.kind, FirmwareFileKind::Firmware);
    EXPECT_EQ(lower.version, "1.0.3");
    EXPECT_EQ(classifyFirmwareFile("Tessaray_FW_v2a.bin").version, "V2A.B");
    EXPECT_EQ(classifyFirmwareFile("x_FW_12").version, "12");  // fewer when the name ends sooner
    EXPECT_EQ(classifyFirmwareFile("a_FW_1_FW_2").version, "1_FW_");  // the first marker counts
    EXPECT_EQ(classifyFirmwareFile("Tessaray_img_1.bin").kind, FirmwareFileKind::ImageData);
    EXPECT_EQ(classifyFirmwareFile("Tessaray_IMG__FW_1.bin").kind, FirmwareFileKind::ImageData);
    EXPECT_EQ(classifyFirmwareFile("Tessaray_FW1.bin").kind, FirmwareFileKind::Other);
    EXPECT_EQ(classifyFirmwareFile("readme.txt").kind, FirmwareFileKind::Other);
    EXPECT_EQ(classifyFirmwareFile("Tessaray_FW_1.0.3.bin.minisig").kind, FirmwareFileKind::Other);
    EXPECT_EQ(classifyFirmwareFile("Tessaray_IMG_1.0.3.bin.MINISIG").kind, FirmwareFileKind::Other);
}

TEST(FirmwareNames, TheLastListedFileOfEachKindIsPicked)
{
    const FirmwareFolderPick pick =
        pickFirmwareFiles({"A_FW_1.0.1.bin", "readme.txt", "A_IMG_1.bin", "b_fw_1.0.2.bin", "B_img_2.bin"});
    EXPECT_EQ(pick.firmware, "b_fw_1.0.2.bin");
    EXPECT_EQ(pick.version, "1.0.2");
    EXPECT_EQ(pick.imageData, "B_img_2.bin");
    const FirmwareFolderPick none = pickFirmwareFiles({"readme.txt", "A_FW1.bin"});
    EXPECT_TRUE(none.firmware.empty() && none.imageData.empty() && none.version.empty());
}

TEST(LogNames, OnlyXlsInAnyCase)
{
    EXPECT_TRUE(isLogFileName("2026_03_07_14_05_09_temp.xls"));
    EXPECT_TRUE(isLogFileName("OLD.XLS"));
    EXPECT_FALSE(isLogFileName("a.xlsx"));
    EXPECT_FALSE(isLogFileName("a.xls.bak"));
    EXPECT_FALSE(isLogFileName("xls"));
}

}  // namespace
