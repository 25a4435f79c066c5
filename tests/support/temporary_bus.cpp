#include "temporary_bus.h"

#include "environment.h"

#include <random>
#include <stdexcept>

namespace bustest {

namespace fs = std::filesystem;

TemporaryBus::TemporaryBus(const std::string& name) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && top_.empty(); ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("vbus-" + std::to_string(random() % 1'000'000'000));
        if (fs::create_directory(candidate)) top_ = candidate;
    }
    if (top_.empty()) throw std::runtime_error("cannot make a temporary bus folder");
    dir_ = top_ / name;
    fs::create_directories(hid());
    setEnvironment("LUMARO_VBUS_DIR", dir_.string());
}

TemporaryBus::~TemporaryBus() {
    clearEnvironment("LUMARO_VBUS_DIR");
    std::error_code ignored;
    fs::remove_all(top_, ignored);
}

DeviceEnd& DeviceEnd::operator=(DeviceEnd&& other) noexcept {
    if (this != &other) {
        close();
        socket_ = other.socket_;
        other.socket_ = kClosed;
    }
    return *this;
}

}  // namespace bustest
