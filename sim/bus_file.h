// A small file on the bus that a host may read the moment it appears: written under a temporary
// name ("<name>.tmp", which no host takes for anything) and then renamed into place.
#pragma once

#include <filesystem>
#include <string_view>

namespace sim {

// Throws std::system_error.
void writeBusFile(const std::filesystem::path& path, std::string_view text);

}  // namespace sim
