// The control socket: a stream socket that takes one text command per line and answers each with
// one line, "ok" or "error <why>".
#pragma once

#include "event_loop.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class ControlServer {
public:
    using Execute = std::function<std::string(std::string_view line)>;

    // Throws std::system_error, also when another simulator already answers at path.
    ControlServer(EventLoop& loop, std::string path, Execute execute);
    ~ControlServer();  // closes every client and removes the socket file
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

private:
    struct Client {
        int fd;
        std::string pending;  // received, not yet a full line
    };

    void acceptPending();
    void onClientReady(int fd);
    void drop(int fd);

    EventLoop& loop_;
    std::string path_;
    Execute execute_;
    int listenFd_ = -1;
    std::vector<Client> clients_;
};

}  // namespace sim
