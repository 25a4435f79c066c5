// Stands in for icacls.exe in the installer's test (Wine keeps no access lists): it appends its
// command line, as a line, to the file that LUMARO_ICACLS_LOG names and succeeds.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int main()
{
    wchar_t log[MAX_PATH];
    if (GetEnvironmentVariableW(L"LUMARO_ICACLS_LOG", log, MAX_PATH) == 0) return 1;
    FILE* file = _wfopen(log, L"a, ccs=UTF-8");
    if (file == nullptr) return 1;
    std::fwprintf(file, L"%ls\n", GetCommandLineW());
    return std::fclose(file) == 0 ? 0 : 1;
}
