// Windows: ejecting the USB device that holds a disk, as "Safely Remove Hardware" does.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <chrono>
#include <optional>
#include <string>

namespace platform {

// Asks the configuration manager to eject the USB device that holds the disk device node disk
// (drive names it for the log), retrying vetoes for up to retryFor (usb_eject_rules.h). Nothing
// when it was ejected, else why not.
std::optional<std::string> ejectUsbDeviceOf(DEVINST disk, const std::string& drive, std::chrono::milliseconds retryFor);

}  // namespace platform
