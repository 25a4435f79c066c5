#include "temporary_folder.h"

#include <random>
#include <stdexcept>

namespace bustest {

std::filesystem::path makeTemporaryFolder(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / (prefix + std::to_string(random() % 1'000'000'000));
        if (std::filesystem::create_directory(candidate)) return candidate;  // false: it was there already
    }
    throw std::runtime_error("cannot make a temporary folder for " + prefix);
}

}  // namespace bustest
