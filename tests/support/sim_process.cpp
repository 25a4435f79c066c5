#include "sim_process.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The record holds flat objects of strings and numbers written by the simulator; this reads
// exactly that, and skips a line it cannot read.
bool parseRecordLine(const std::string& line, SimRecord& record) {
    std::size_t at = 0;
    auto skipSpace = [&] { while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at; };
    auto expect = [&](char c) {
        skipSpace();
        if (at >= line.size() || line[at] != c) return false;
        ++at;
        return true;
    };
    auto readString = [&](std::string& out) {
        if (!expect('"')) return false;
        out.clear();
        while (at < line.size() && line[at] != '"') {
            if (line[at] == '\\' && at + 1 < line.size()) ++at;
            out += line[at++];
        }
        return expect('"');
    };
    if (!expect('{')) return false;
    for (bool first = true;; first = false) {
        skipSpace();
        if (at < line.size() && line[at] == '}') return true;
        if (!first && !expect(',')) return false;
        std::string key;
        if (!readString(key) || !expect(':')) return false;
        skipSpace();
        if (at < line.size() && line[at] == '"') {
            std::string value;
            if (!readString(value)) return false;
            if (key == "device") record.device = value;
            else if (key == "dir") record.dir = value;
            else if (key == "event") record.event = value;
            else if (key == "report") {
                if (value.size() != 2 * platform::kReportSize) return false;
                for (std::size_t i = 0; i < platform::kReportSize; ++i)
                    record.report[i] = static_cast<std::uint8_t>(std::stoul(value.substr(2 * i, 2), nullptr, 16));
            } else record.fields[key] = value;
        } else {
            const std::size_t start = at;
            std::size_t used = 0;
            const double number = std::stod(line.substr(at), &used);
            at += used;
            if (key == "t_ms") record.tMs = number;
            else record.fields[key] = line.substr(start, used);
        }
    }
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& deviceArgs, std::chrono::milliseconds readyLimit) {
    std::string templ = (std::filesystem::temp_directory_path() / "lumaro-sim-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    root_ = templ;
    busDir_ = root_ + "/bus";

    std::vector<std::string> args{LUMARO_SIM_PATH, "--bus", busDir_, "--record", recordPath()};
    args.insert(args.end(), deviceArgs.begin(), deviceArgs.end());
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
        ::execv(LUMARO_SIM_PATH, argv.data());
        ::_exit(127);
    }
    const int spawnError = errno;
    ::close(pipeFds[1]);
    stdoutFd_ = pipeFds[0];
    if (pid_ < 0) {
        std::filesystem::remove_all(root_);
        ::close(stdoutFd_);
        throw std::runtime_error("cannot start " LUMARO_SIM_PATH ": " + std::string(std::strerror(spawnError)));
    }
    const std::string line = readLine(stdoutFd_, Clock::now() + readyLimit);
    if (line != "ready") {
        const int code = stop();
        std::filesystem::remove_all(root_);
        ::close(stdoutFd_);
        throw std::runtime_error("the simulator did not get ready (exit code " + std::to_string(code) + ")");
    }
}

SimProcess::~SimProcess() {
    stop();
    ::close(stdoutFd_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void SimProcess::useBus() const { ::setenv("LUMARO_VBUS_DIR", busDir_.c_str(), 1); }

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

std::vector<std::uint8_t> SimProcess::imageData(const std::string& device) const {
    const std::string path = root_ + "/" + device + ".image";
    const std::string answer = control("dump " + device + " " + path);
    if (answer != "ok") throw std::runtime_error("dump " + device + ": " + answer);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

std::vector<SimRecord> SimProcess::records() const {
    std::vector<SimRecord> records;
    std::ifstream in(recordPath());
    std::string line;
    while (std::getline(in, line)) {
        SimRecord record;
        try {
            if (parseRecordLine(line, record)) records.push_back(std::move(record));
        } catch (const std::exception&) {
            // a line being written right now, or not one of ours
        }
    }
    return records;
}

bool SimProcess::waitForEvent(const std::string& device, const std::string& event, int count,
                              std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto all = records();
        const auto seen = std::count_if(all.begin(), all.end(), [&](const SimRecord& r) {
            return r.device == device && r.event == event;
        });
        if (seen >= count) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int SimProcess::stop() {
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

}  // namespace lumaro::test
