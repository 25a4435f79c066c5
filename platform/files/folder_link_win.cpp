#include "platform/files/folder_link.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

bool isUntrustedFolderLink(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 3 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const DWORD attributes = GetFileAttributesW(utf8Path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace platform
