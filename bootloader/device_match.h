// Which HID interface is the board: the one whose hardware ID contains the caller's fragment.
#pragma once

#include <string_view>

namespace zerlin {

// Only the device's side is upper-cased, so the fragment must be given in upper case
// ("VID_04D8&PID_003C"). An empty fragment matches nothing: it would pick an arbitrary device.
bool hardwareIdMatches(std::string_view hardwareId, std::string_view fragment);

}  // namespace zerlin
