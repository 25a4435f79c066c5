// Exports called before any session has started fail instead of touching a missing region table.
#include "bootloader/zerlin.h"

#include <gtest/gtest.h>

TEST(FreshLibrary, EveryExportFailsBeforeASessionStarts)
{
    EXPECT_EQ(M47J53_QueryDevice(), 0);
    EXPECT_EQ(M47J53_LoadFirmwareFile("/dev/null"), 0);
    EXPECT_EQ(M47J53_Transfer_FlashData(), 0);
    EXPECT_EQ(M47J53_UpdateFlash(), 0);
    EXPECT_EQ(M47J53_VerifyFlash(), 0);
    EXPECT_EQ(M47J53_EraseFlashData(), 0);
    EXPECT_EQ(M47J53_Set_BootLoaderMode(), 0);
    const std::int32_t reset = M47J53_Reset();
    EXPECT_NE(reset, 0);
    EXPECT_NE(reset, 1);
}
