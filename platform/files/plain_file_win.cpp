#include "platform/files/plain_file.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

namespace {

PlainFileOpening refused(PlainFileOpening::Found found, DWORD error)
{
    SetLastError(error);
    return {File(), found};
}

}  // namespace

// FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link or junction itself instead of what it names;
// its attributes then show it, and it is refused, as any reparse point is: the program makes none. Without FILE_FLAG_BACKUP_SEMANTICS a folder does
// not open at all. Sharing deletion: another instance may rename or remove the file meanwhile.
PlainFileOpening openPlainFile(const std::string& folder, const std::string& name, PlainFileAccess access)
{
    const std::wstring path = utf8Path(folder + name).wstring();
    const DWORD rights = access == PlainFileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const HANDLE handle = CreateFileW(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return refused(PlainFileOpening::Found::Nothing, error);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return refused(PlainFileOpening::Found::NotPlain, error);
        return refused(PlainFileOpening::Found::Failed, error);
    }
    File file(reinterpret_cast<std::intptr_t>(handle));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) return refused(PlainFileOpening::Found::Failed, GetLastError());
    // A hard link to a file another user could not read is a second name of it: refused as well.
    if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        information.nNumberOfLinks != 1 || GetFileType(handle) != FILE_TYPE_DISK)
        return refused(PlainFileOpening::Found::NotPlain, ERROR_INVALID_PARAMETER);
    return {std::move(file), PlainFileOpening::Found::File};
}

}  // namespace platform
