#include "platform/files/file_move.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

// MOVEFILE_WRITE_THROUGH: the call returns once the move is on the disk, the folder's entries
// included.
bool moveIntoPlace(const std::string& from, const std::string& to)
{
    return MoveFileExW(utf8Path(from).c_str(), utf8Path(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool moveIntoPlaceSoon(const std::string& from, const std::string& to)
{
    return MoveFileExW(utf8Path(from).c_str(), utf8Path(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace platform
