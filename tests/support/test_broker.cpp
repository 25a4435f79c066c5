// Does for the Windows build's tests under Wine what they cannot do themselves: start and wait for
// Linux programs, the simulator and the workbook reader. It listens on a loopback port, which it
// prints as its first line. Any local program can connect, so a connection is served only after it
// has shown the run's token, the secret that scripts/test-windows gives the broker and its tests in
// LUMARO_TEST_BROKER_TOKEN; anything else ends the connection. A connection may ask for one
// simulator and holds it: the simulator ends when the connection does. Requests and answers are
// lines, their fields separated by tabs:
//   token <the run's token>                         ->  ok (the first request of every connection)
//   start <ready limit in ms> <device argument>...  ->  ready <the simulator's temporary folder>
//   control <command>                               ->  the simulator's answer
//   stop                                            ->  the simulator's exit code
//   can-read                                        ->  yes, or no when there is no workbook reader
//   read <path> cells|widths                        ->  ok <line count>, then the reader's lines
// A request that fails is answered "error <why>".
#include "sim_process.h"
#include "tests/recorder/workbook/xlsx_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Shorter would be guessable; a request line is far shorter than this limit.
constexpr std::size_t kMinTokenLength = 16;
constexpr std::size_t kMaxLineLength = 64 * 1024;

std::string runToken;

// Compared in full whatever the first difference, so the time taken tells nothing of the token.
bool isRunToken(const std::string& offered) {
    if (offered.size() != runToken.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < offered.size(); ++i)
        difference = static_cast<unsigned char>(difference | (offered[i] ^ runToken[i]));
    return difference == 0;
}

bool isTokenRequest(const std::vector<std::string>& request) {
    return request.size() == 2 && request[0] == "token" && isRunToken(request[1]);
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

// The reader's lines after their count; the count ends up one short when the output does not end
// its last line, so it is counted as it will be read.
std::string readAnswer(const std::string& path, bool widths) {
    const std::optional<std::string> output = lumaro::test::xlsxReaderOutput(path, widths);
    if (!output) return "error the reader failed on " + path;
    std::string lines = *output;
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    const auto count = std::count(lines.begin(), lines.end(), '\n');
    if (!lines.empty()) lines.pop_back();
    return "ok\t" + std::to_string(count) + (count > 0 ? "\n" + lines : "");
}

std::string answer(std::optional<lumaro::test::SimProcess>& sim, const std::vector<std::string>& request) {
    if (request.empty()) return "error empty request";
    if (request[0] == "can-read") return lumaro::test::xlsxReaderAvailable() ? "yes" : "no";
    if (request[0] == "read" && request.size() == 3) return readAnswer(request[1], request[2] == "widths");
    if (request[0] == "start" && request.size() >= 2 && !sim) {
        sim.emplace(std::vector<std::string>(request.begin() + 2, request.end()),
                    std::chrono::milliseconds(std::stoi(request[1])));
        return "ready\t" + sim->simulatorFolder();
    }
    if (!sim) return "error no simulator started";
    if (request[0] == "control" && request.size() == 2) return sim->control(request[1]);
    if (request[0] == "stop") return std::to_string(sim->stop());
    return "error unknown request " + request[0];
}

bool send(int connection, std::string reply) {
    reply += '\n';
    return ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(reply.size());
}

// One connection: its simulator is made and ended on this thread, as a simulator must be.
void serve(int connection) {
    std::optional<lumaro::test::SimProcess> sim;
    bool admitted = false;
    std::string line;
    char c = 0;
    while (::recv(connection, &c, 1, 0) == 1) {
        if (c != '\n') {
            line += c;
            if (line.size() > kMaxLineLength) break;
            continue;
        }
        const std::vector<std::string> request = fieldsOf(line);
        line.clear();
        if (!admitted) {
            admitted = isTokenRequest(request);
            if (!send(connection, admitted ? "ok" : "error the run's token is missing or wrong") || !admitted) break;
            continue;
        }
        std::string reply;
        try {
            reply = answer(sim, request);
        } catch (const std::exception& error) {
            reply = std::string("error ") + error.what();
        }
        if (!send(connection, reply)) break;
    }
    ::close(connection);
}

}  // namespace

int main() {
    const char* token = std::getenv("LUMARO_TEST_BROKER_TOKEN");
    runToken = token != nullptr ? token : "";
    if (runToken.size() < kMinTokenLength || runToken.find_first_of("\t\n") != std::string::npos) {
        std::fprintf(stderr, "test_broker: LUMARO_TEST_BROKER_TOKEN must hold the run's token (%zu characters or more)\n",
                     kMinTokenLength);
        return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("test_broker");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) std::thread(serve, connection).detach();
    }
}
