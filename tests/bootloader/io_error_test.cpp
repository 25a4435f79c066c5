// The cause a failed call leaves in bootLastIoError, which only the library's own code sees: these
// tests link the session code directly instead of the shared library.
#include "bootloader/session_state.h"
#include "session_test_support.h"
#include "hex_test_support.h"

namespace zerlin::test {
namespace {

using IoError = BoardSession;

TEST_F(IoError, ABoardUnpluggedDuringVerificationLeavesDeviceNotConnected)
{
    // A request per frame; the board leaves while requests are still being started.
    startBoard("timing=full-speed,regions=1:0:0x8000");
    ASSERT_EQ(M47J53_QueryDevice(), 1);
    ASSERT_EQ(sim().control("set board unplug-after=40"), "ok");
    EXPECT_EQ(M47J53_VerifyFlash(), 0);
    EXPECT_EQ(bootLastIoError, platform::kErrorDeviceNotConnected);
}

}  // namespace
}  // namespace zerlin::test
