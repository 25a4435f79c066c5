#include "boot_board.h"

#include "bootloader/zerlin.h"
#include "link/usb.h"

bool handBoardToLibrary(const std::string& vidPid, EngineeringPage& page) {
    Close_HidDevice();
    if (M47J53_SetUSBHandle(vidPid.c_str()) != 0) return true;
    page.log("Error -> Device " + vidPid + " not found !!");
    return false;
}
