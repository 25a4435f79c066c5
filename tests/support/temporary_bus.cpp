#include "temporary_bus.h"

#include "environment.h"
#include "temporary_folder.h"

namespace bustest {

namespace fs = std::filesystem;

TemporaryBus::TemporaryBus(const std::string& name) : top_(makeTemporaryFolder("vbus-")), dir_(top_ / name) {
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
