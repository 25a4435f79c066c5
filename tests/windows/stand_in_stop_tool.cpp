// A stand-in for the stop tool, carried by the stop tool test as its resources "S1" and "S2": writes
// which build it is, the path it was started from and its arguments, separated by "|", in UTF-8 to
// the file that LUMARO_STOP_TOOL_RECORD names.
#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring& wide)
{
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    wchar_t record[MAX_PATH * 2];
    if (GetEnvironmentVariableW(L"LUMARO_STOP_TOOL_RECORD", record, MAX_PATH * 2) == 0) return 2;
    wchar_t self[MAX_PATH * 2];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::string line = std::string(LUMARO_STAND_IN_BUILD) + "|" + utf8(std::wstring(self, selfLength));
    for (int i = 1; i < argc; ++i) line += std::string("|") + argv[i];  // the arguments are ASCII
    const HANDLE out = CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const bool ok = WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != 0;
    CloseHandle(out);
    return ok ? 0 : 4;
}
