#include "platform/files/exclusive_file.h"

#include <cstdio>
#include <random>

namespace platform {

// A name nobody can guess ahead, so nothing can be waiting under it; a clash only costs a retry.
File createUniqueFile(const std::string& stem, std::string_view suffix, std::string& path)
{
    std::random_device randomness;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char part[20];
        std::snprintf(part, sizeof part, "%08x%08x", randomness(), randomness());
        path = stem + "." + part + std::string(suffix);
        File file = createNewFile(path);
        if (file.isOpen()) return file;
    }
    path.clear();
    return File();
}

}  // namespace platform
