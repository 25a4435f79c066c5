// Erasing and programming the board's flash.
#include "bootloader/program_packets.h"
#include "bootloader/session_state.h"
#include "bootloader/zerlin.h"

#include <span>

using namespace zerlin;

namespace {

// Programs every region on the open session handles; stops at the first failed write.
bool programRegions()
{
    const ProgrammingInput input{std::span(*regionTable).first(regionCount),
                                 std::span(regionImage).first(regionCount), bytesPerPacket, bytesPerAddress};
    for (const Report& report : programmingReports(input)) {
        if (!writeBootReport(report)) return false;
    }
    return true;
}

}  // namespace

extern "C" {

ZERLIN_EXPORT uint8_t M47J53_EraseFlashData(void)
{
    return failSafe([] {
        SessionHandles handles;
        return handles.isOpen() && eraseAndWait();
    });
}

ZERLIN_EXPORT uint8_t M47J53_Transfer_FlashData(void)
{
    return failSafe([] {
        if (!hasImagesToProgram()) return false;
        SessionHandles handles;
        return handles.isOpen() && programRegions();
    });
}

ZERLIN_EXPORT uint8_t M47J53_UpdateFlash(void)
{
    return failSafe([] {
        if (!hasImagesToProgram()) return false;
        SessionHandles handles;
        return handles.isOpen() && eraseAndWait() && programRegions();
    });
}

}  // extern "C"
