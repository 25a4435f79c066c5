#include "platform/files/exclusive_file.h"

#include "platform/core/utf8_path.h"

#include <windows.h>

namespace platform {

// CREATE_NEW fails on any name that exists, a symbolic link or junction included. Others may read
// and write it as the program does (a workbook writer opens it again by name) but not remove or
// rename it while it is open.
File createNewFile(const std::string& path)
{
    const HANDLE file = CreateFileW(utf8Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return File(reinterpret_cast<std::intptr_t>(file));
}

}  // namespace platform
