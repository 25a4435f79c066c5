#include "ctl_client.h"

#include "unix_address.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr int kAnswerTimeoutMs = 10000;

}  // namespace

int runCtl(const CtlOptions& options) {
    const sockaddr_un address = unixAddress(options.controlPath);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const std::string request = options.command + '\n';
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        std::cerr << "tessaray-sim ctl: cannot reach " << options.controlPath << ": " << std::strerror(errno) << '\n';
        if (fd >= 0) ::close(fd);
        return 1;
    }
    std::string answer;
    char buffer[256];
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, kAnswerTimeoutMs) <= 0) break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(got));
        if (answer.find('\n') != std::string::npos) break;
    }
    ::close(fd);
    const auto newline = answer.find('\n');
    if (newline == std::string::npos) {
        std::cerr << "tessaray-sim ctl: no answer from " << options.controlPath << '\n';
        return 1;
    }
    answer.resize(newline);
    std::cout << answer << '\n';
    return answer == "ok" ? 0 : 1;
}

}  // namespace sim
