#include "platform/files/file_sync.h"
#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

// A handle of its own, shared with the writer and with a removal that may come meanwhile: the
// system flushes the file's buffers, whichever handle wrote them.
bool syncFileToDisk(const std::string& path) {
    const HANDLE file = CreateFileW(utf8Path(path).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool synced = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return synced;
}

}  // namespace platform
