#include "bus_file.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace sim {

void writeBusFile(const std::filesystem::path& path, std::string_view text) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) throw std::system_error(errno, std::generic_category(), "cannot write " + temporary.string());
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot rename " + temporary.string());
}

}  // namespace sim
