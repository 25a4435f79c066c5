// A fresh, empty folder of this process's own in the system's temporary folder.
#pragma once

#include <filesystem>
#include <string>

namespace bustest {

// <temporary folder>/<prefix><random digits>; throws std::runtime_error when none can be made.
std::filesystem::path makeTemporaryFolder(const std::string& prefix);

}  // namespace bustest
