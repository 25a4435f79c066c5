#include "event_loop.h"

#include <cerrno>
#include <system_error>

#include <sys/epoll.h>
#include <unistd.h>

namespace sim {

EventLoop::EventLoop() : epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (epollFd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
}

EventLoop::~EventLoop() { ::close(epollFd_); }

void EventLoop::add(int fd, std::uint32_t events, Handler handler) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0)
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
    handlers_[fd] = std::make_shared<Handler>(std::move(handler));
}

void EventLoop::remove(int fd) {
    if (handlers_.erase(fd) != 0) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

void EventLoop::runOnce(int timeoutMs) {
    epoll_event events[32];
    const int ready = ::epoll_wait(epollFd_, events, 32, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR) return;
        throw std::system_error(errno, std::generic_category(), "epoll_wait");
    }
    for (int i = 0; i < ready; ++i) {
        // Looked up at dispatch time: an earlier handler of this batch may have removed it.
        const auto found = handlers_.find(events[i].data.fd);
        if (found == handlers_.end()) continue;
        const std::shared_ptr<Handler> handler = found->second;
        (*handler)(events[i].events);
    }
}

}  // namespace sim
