#include "stop_requests.h"

#include "bus_file.h"

#include <cctype>
#include <cerrno>
#include <iostream>
#include <system_error>
#include <vector>

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace sim {
namespace fs = std::filesystem;

std::optional<char> stopRequestDrive(std::string_view fileName) {
    if (fileName.size() != 6 || fileName.substr(1) != ".stop") return std::nullopt;
    // Drive letters know no case on Windows, and a host under Wine keeps the case it was given.
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(fileName[0])));
    if (letter < 'C' || letter > 'Z') return std::nullopt;
    return letter;
}

StopRequests::StopRequests(EventLoop& loop, fs::path drivesDir, StopDrive stopDrive)
    : loop_(loop), drivesDir_(std::move(drivesDir)), stopDrive_(std::move(stopDrive)) {
    fs::create_directories(drivesDir_);
    watchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd_ < 0) throw std::system_error(errno, std::generic_category(), "inotify_init1");
    // Created by the host, or renamed into place by one that writes files that way.
    if (::inotify_add_watch(watchFd_, drivesDir_.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        const int error = errno;
        ::close(watchFd_);
        throw std::system_error(error, std::generic_category(), "cannot watch " + drivesDir_.string());
    }
    loop_.add(watchFd_, EPOLLIN, [this](std::uint32_t) { onChange(); });
    answerWaiting();
}

StopRequests::~StopRequests() {
    loop_.remove(watchFd_);
    ::close(watchFd_);
}

void StopRequests::onChange() {
    // The folder is looked at as a whole, so the events themselves (and an overflow) tell nothing more.
    alignas(inotify_event) char events[4096];
    while (::read(watchFd_, events, sizeof events) > 0) {
    }
    answerWaiting();
}

// An empty request is a new one; one that holds an answer waits for its host.
void StopRequests::answerWaiting() {
    std::vector<std::pair<fs::path, char>> requests;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(drivesDir_, ec))
        if (const auto drive = stopRequestDrive(entry.path().filename().string());
            drive && entry.is_regular_file(ec) && entry.file_size(ec) == 0)
            requests.emplace_back(entry.path(), *drive);
    // Answered after the listing: a stop changes the folder.
    for (const auto& [request, drive] : requests) {
        const std::string answer = stopDrive_(drive);
        try {
            if (answer == "ok") fs::remove(request);
            else writeBusFile(request, "refused");
        } catch (const std::exception& e) {
            std::cerr << "tessaray-sim: cannot answer " << request.string() << ": " << e.what() << '\n';
        }
        if (answer != "ok")
            std::cerr << "tessaray-sim: " << drive << ".stop refused: "
                      << (answer.starts_with("error ") ? answer.substr(6) : answer) << '\n';
    }
}

}  // namespace sim
