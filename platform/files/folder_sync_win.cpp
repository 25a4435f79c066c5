#include "platform/files/file_sync.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

// FILE_FLAG_BACKUP_SEMANTICS opens a folder; FlushFileBuffers needs it opened for writing.
bool syncFolderToDisk(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(utf8Path(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    const HANDLE handle = CreateFileW(utf8Path(folder).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool synced = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return synced;
}

}  // namespace platform
