// Writes its second argument into the file named by its first, leaves it unflushed and open, and
// ends through endProcess with the exit code given as its third.
#include "platform/process/process_end.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    std::FILE* file = std::fopen(argv[1], "w");
    if (file == nullptr) return 3;
    std::fputs(argv[2], file);
    platform::endProcess(std::atoi(argv[3]));
}
