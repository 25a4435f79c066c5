// The address of a Unix socket file.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include <sys/socket.h>
#include <sys/un.h>

namespace sim {

// Throws std::system_error when the path does not fit a socket address.
inline sockaddr_un unixAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::system_error(ENAMETOOLONG, std::generic_category(), "socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

}  // namespace sim
