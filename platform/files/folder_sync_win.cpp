#include "platform/files/file_sync.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

// FILE_FLAG_BACKUP_SEMANTICS opens a folder. The flush needs the handle opened for writing data; on a
// folder that is the right to add files and folders, which Record\ grants its users, where
// GENERIC_WRITE would also ask for the attributes that only administrators may change there.
bool syncFolderToDisk(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(utf8Path(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    const HANDLE handle = CreateFileW(utf8Path(folder).c_str(), FILE_WRITE_DATA | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool synced = FlushFileBuffers(handle) != 0;
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!synced) SetLastError(error);
    return synced;
}

}  // namespace platform
