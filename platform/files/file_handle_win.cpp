#include "platform/files/file_handle.h"

#include "platform/core/os_error.h"
#include "platform/core/utf8_path.h"

#include <algorithm>
#include <windows.h>

namespace platform {

namespace {

HANDLE handle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

std::size_t File::write(std::string_view data)
{
    std::size_t written = 0;
    while (written < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - written, 1u << 30));
        DWORD count = 0;
        if (!WriteFile(handle(native_), data.data() + written, chunk, &count, nullptr) || count == 0) break;
        written += count;
    }
    return written;
}

std::optional<std::string> File::readAll(std::size_t maxBytes)
{
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(handle(native_), buffer, sizeof buffer, &count, nullptr)) return std::nullopt;
        if (count == 0) return content;
        if (content.size() + count > maxBytes) {
            SetLastError(ERROR_FILE_TOO_LARGE);
            return std::nullopt;
        }
        content.append(buffer, count);
    }
}

std::optional<std::string> File::readAt(std::uint64_t offset, std::size_t count)
{
    std::string content(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        // On a handle opened for synchronous reads the offset is taken from the OVERLAPPED.
        OVERLAPPED at{};
        const std::uint64_t from = offset + got;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(handle(native_), content.data() + got, chunk, &read, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
        if (read == 0) break;
        got += read;
    }
    content.resize(got);
    return content;
}

std::optional<std::uint64_t> File::size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle(native_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t File::appendAtEnd(std::string_view data)
{
    const LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle(native_), zero, nullptr, FILE_END)) return 0;
    return write(data);
}

bool File::replaceWith(std::string_view data)
{
    const LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle(native_), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle(native_))) return false;
    return write(data) == data.size();
}

bool File::sync()
{
    return FlushFileBuffers(handle(native_)) != 0;
}

void File::close()
{
    if (isOpen()) CloseHandle(handle(release()));
}

// READ_CONTROL: the owner is read from the handle. Sharing delete: a recovered journal is removed
// while it is held, so that no other instance takes it meanwhile.
File openForReading(const std::string& path)
{
    const HANDLE file = CreateFileW(utf8Path(path).c_str(), GENERIC_READ | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return File(reinterpret_cast<std::intptr_t>(file));
}

std::string lastErrorText()
{
    return systemMessage(GetLastError());
}

}  // namespace platform
