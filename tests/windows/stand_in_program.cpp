// Stands in for a program of the installed folder in the installer's test: it keeps running, and so
// keeps its file in use, until the file named by its argument is gone (at most a minute).
#include <windows.h>

int main(int argc, char** argv)
{
    for (int waited = 0; argc == 2 && waited < 600 && GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; ++waited)
        Sleep(100);
    return 0;
}
