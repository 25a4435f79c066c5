// Where a path really leads: a file named through links or junctions is known by the place it is
// in, so that "a file of this folder" cannot be a link in it to a file elsewhere.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The absolute path of the file or folder at path, every link and junction on the way resolved and
// no "." or ".." left; nothing when there is nothing at path.
std::optional<std::string> resolvedPath(const std::string& path);

}  // namespace platform
