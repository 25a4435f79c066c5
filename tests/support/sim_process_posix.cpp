// The simulator as a child of the test process.
#include "sim_process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaro::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStopLimit = std::chrono::seconds(5);
constexpr int kControlTimeoutMs = 5000;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads from fd until a line ends or the deadline passes; returns the line without its newline.
std::string readLine(int fd, Clock::time_point deadline) {
    std::string text;
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, remainingMs(deadline)) <= 0) return {};
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got <= 0) return {};
        if (c == '\n') return text;
        text += c;
    }
}

}  // namespace

class SimProcess::Running {
public:
    Running(std::vector<std::string> args, std::chrono::milliseconds readyLimit) {
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            // A test that crashes must not leave its simulator serving a bus nobody removes.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(127);
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const int spawnError = errno;
        ::close(pipeFds[1]);
        stdoutFd_ = pipeFds[0];
        if (pid_ < 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawnError));
        if (readLine(stdoutFd_, Clock::now() + readyLimit) != "ready") {
            const int code = stop();
            ::close(stdoutFd_);
            throw std::runtime_error("the simulator did not get ready (exit code " + std::to_string(code) + ")");
        }
    }
    ~Running() {
        stop();
        ::close(stdoutFd_);
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    int stop() {
        if (pid_ < 0) return exitCode_;
        int status = 0;
        pid_t ended = ::waitpid(pid_, &status, WNOHANG);
        if (ended == 0) {
            ::kill(pid_, SIGTERM);
            const auto deadline = Clock::now() + kStopLimit;
            while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (ended == 0) {
                ::kill(pid_, SIGKILL);
                ended = ::waitpid(pid_, &status, 0);
            }
        }
        pid_ = -1;
        exitCode_ = ended < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int exitCode_ = -1;
};

SimProcess::SimProcess(const std::vector<std::string>& deviceArgs, std::chrono::milliseconds readyLimit) {
    std::string templ = (std::filesystem::temp_directory_path() / "lumaro-sim-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    root_ = simRoot_ = templ;
    busDir_ = root_ + "/bus";
    std::vector<std::string> args{LUMARO_SIM_PATH, "--bus", busDir_, "--record", recordPath()};
    args.insert(args.end(), deviceArgs.begin(), deviceArgs.end());
    try {
        running_ = std::make_unique<Running>(std::move(args), readyLimit);
    } catch (...) {
        std::filesystem::remove_all(root_);
        throw;
    }
}

SimProcess::~SimProcess() {
    running_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string SimProcess::control(const std::string& command) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = controlPath();
    std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path - 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const std::string request = command + '\n';
    const bool sent = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    std::string answer = sent ? readLine(fd, Clock::now() + std::chrono::milliseconds(kControlTimeoutMs)) : "";
    if (fd >= 0) ::close(fd);
    if (answer.empty()) throw std::runtime_error("no answer from the simulator to '" + command + "'");
    return answer;
}

int SimProcess::stop() { return running_->stop(); }

}  // namespace lumaro::test
