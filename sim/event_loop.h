// One epoll loop serves every descriptor of the simulator on a single thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace sim {

class EventLoop {
public:
    using Handler = std::function<void(std::uint32_t events)>;

    EventLoop();  // throws std::system_error
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void add(int fd, std::uint32_t events, Handler handler);  // throws std::system_error
    void remove(int fd);  // before the descriptor is closed; harmless for one not added

    // Waits up to timeoutMs (-1: no limit) and runs the handlers of the ready descriptors.
    void runOnce(int timeoutMs);

private:
    int epollFd_;
    // Shared so that a handler stays alive while it runs even if it removes itself.
    std::unordered_map<int, std::shared_ptr<Handler>> handlers_;
};

}  // namespace sim
