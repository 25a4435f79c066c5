#include "temporary_bus.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bustest {

namespace fs = std::filesystem;

TemporaryBus::TemporaryBus(const std::string& name) {
    char pattern[] = "/tmp/vbus-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary bus folder");
    top_ = pattern;
    dir_ = top_ / name;
    fs::create_directories(hid());
    ::setenv("LUMARO_VBUS_DIR", dir_.c_str(), 1);
}

TemporaryBus::~TemporaryBus() {
    ::unsetenv("LUMARO_VBUS_DIR");
    std::error_code ignored;
    fs::remove_all(top_, ignored);
}

ListeningInterface::ListeningInterface(const TemporaryBus& bus, const std::string& name, const std::string& ids)
    : socketPath_(bus.hid() / (name + ".sock")) {
    std::ofstream(bus.hid() / (name + ".id")) << ids;
    listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath_.c_str());
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 8) != 0)
        throw std::runtime_error("cannot listen on " + socketPath_.string());
}

ListeningInterface::~ListeningInterface() { ::close(listener_); }

int ListeningInterface::accept(char& access) const {
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0 || ::recv(fd, &access, 1, 0) != 1) access = 0;
    return fd;
}

}  // namespace bustest
