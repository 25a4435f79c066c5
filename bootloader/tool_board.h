// zerlin-tool's own look at the board, beside the library's session: whether it is still on the
// bus (to tell a board that went away from one that refused), and its memory layout (to check the
// file against it before anything is erased). The library keeps both to itself.
#pragma once

#include "bootloader/memory_layout.h"
#include "platform/core/os_error.h"

#include <optional>
#include <string>

namespace zerlin {

// The interface the library's search picks for this hardware-ID fragment, if one is present.
std::optional<std::string> findBoardPath(const std::string& hardwareId);

struct LayoutRead {
    platform::OsError error = platform::kOk;  // of the exchange
    LayoutError layoutError = LayoutError::None;
    DeviceLayout layout;
};

// Asks the board's bootloader for its layout, as the library's query does.
LayoutRead readBoardLayout(const std::string& path);

}  // namespace zerlin
