#include "platform/files/folder_link.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

static_assert(IsReparseTagNameSurrogate(IO_REPARSE_TAG_MOUNT_POINT) && IsReparseTagNameSurrogate(IO_REPARSE_TAG_SYMLINK));

bool isUntrustedFolderLink(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 3 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const std::wstring widePath = utf8Path(path);
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    // The entry's reparse tag, read without opening the folder, so that a cloud folder's placeholder
    // is not fetched for it.
    WIN32_FIND_DATAW entry{};
    const HANDLE found = FindFirstFileW(widePath.c_str(), &entry);
    if (found == INVALID_HANDLE_VALUE) return true;  // a reparse point whose kind cannot be told is not trusted
    FindClose(found);
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkReparseTag(entry.dwReserved0);
}

}  // namespace platform
