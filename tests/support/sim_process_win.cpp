// The simulator run for this process by the simulator broker on the Linux side of Wine: the
// connection to the broker holds it, and its files are reached through drive Z:, the Linux root.
#include "sim_process.h"

#include <winsock2.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace lumaro::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerLimit = std::chrono::seconds(10);

std::string windowsPathOf(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace

class SimProcess::Running {
public:
    Running() {
        const char* port = std::getenv("LUMARO_SIM_BROKER");
        if (port == nullptr || *port == '\0')
            throw std::runtime_error("LUMARO_SIM_BROKER names no simulator broker: run the tests through scripts/test-windows");
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("Winsock did not start");
        connection_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
        if (connection_ == INVALID_SOCKET ||
            ::connect(connection_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close();
            throw std::runtime_error(std::string("cannot reach the simulator broker on port ") + port);
        }
    }
    ~Running() { close(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    // Sends one request and returns the broker's answer line; an empty line when none came in time.
    std::string ask(const std::string& request, Clock::duration limit = kAnswerLimit) {
        const std::string line = request + '\n';
        if (::send(connection_, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
            return {};
        const auto deadline = Clock::now() + limit;
        std::string answer;
        for (;;) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(connection_, &set);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeval wait{static_cast<long>(std::max<std::int64_t>(left, 0) / 1000),
                         static_cast<long>(std::max<std::int64_t>(left, 0) % 1000 * 1000)};
            char c = 0;
            if (::select(0, &set, nullptr, nullptr, &wait) != 1 || ::recv(connection_, &c, 1, 0) != 1) return {};
            if (c == '\n') return answer;
            answer += c;
        }
    }

private:
    void close() {
        if (connection_ != INVALID_SOCKET) ::closesocket(connection_);
        connection_ = INVALID_SOCKET;
        ::WSACleanup();
    }

    SOCKET connection_ = INVALID_SOCKET;
};

SimProcess::SimProcess(const std::vector<std::string>& deviceArgs, std::chrono::milliseconds readyLimit)
    : running_(std::make_unique<Running>()) {
    std::string request = "start\t" + std::to_string(readyLimit.count());
    for (const std::string& arg : deviceArgs) request += '\t' + arg;
    const std::string answer = running_->ask(request, readyLimit + kAnswerLimit);
    if (answer.rfind("ready\t", 0) != 0) throw std::runtime_error("the simulator did not get ready: " + answer);
    simRoot_ = answer.substr(6);
    root_ = windowsPathOf(simRoot_);
    busDir_ = root_ + "\\bus";
}

SimProcess::~SimProcess() = default;  // the broker ends the simulator and removes its folder

std::string SimProcess::control(const std::string& command) const {
    const std::string answer = running_->ask("control\t" + command);
    if (answer.empty()) throw std::runtime_error("no answer from the simulator to '" + command + "'");
    return answer;
}

int SimProcess::stop() {
    const std::string answer = running_->ask("stop");
    return answer.empty() ? -1 : std::atoi(answer.c_str());
}

}  // namespace lumaro::test
