#include "broker_connection_win.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace bustest {
namespace {

using Clock = std::chrono::steady_clock;

// Wine's own path conversions, found at run time: on Windows there is none, and paths stay as they are.
template <typename Function>
Function wineFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

}  // namespace

BrokerConnection::BrokerConnection() : socket_(INVALID_SOCKET) {
    const char* port = std::getenv("LUMARO_TEST_BROKER");
    if (port == nullptr || *port == '\0')
        throw std::runtime_error("LUMARO_TEST_BROKER names no test broker: run these tests through scripts/test-windows");
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("Winsock did not start");
    const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    if (connection == INVALID_SOCKET || ::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (connection != INVALID_SOCKET) ::closesocket(connection);
        ::WSACleanup();
        throw std::runtime_error(std::string("cannot reach the test broker on port ") + port);
    }
    socket_ = connection;
    const char* token = std::getenv("LUMARO_TEST_BROKER_TOKEN");
    if (ask(std::string("token\t") + (token != nullptr ? token : "")) != "ok") {
        ::closesocket(connection);
        ::WSACleanup();
        throw std::runtime_error("the test broker refused this run's token (LUMARO_TEST_BROKER_TOKEN)");
    }
}

BrokerConnection::~BrokerConnection() {
    ::closesocket(static_cast<SOCKET>(socket_));
    ::WSACleanup();
}

std::optional<std::string> BrokerConnection::ask(const std::string& request, std::chrono::milliseconds limit) {
    const std::string line = request + '\n';
    if (::send(static_cast<SOCKET>(socket_), line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
        return std::nullopt;
    return nextLine(limit);
}

std::optional<std::string> BrokerConnection::nextLine(std::chrono::milliseconds limit) {
    const SOCKET connection = static_cast<SOCKET>(socket_);
    const auto deadline = Clock::now() + limit;
    std::string answer;
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(connection, &set);
        const auto left = std::max<std::int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count(), 0);
        timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
        char c = 0;
        if (::select(0, &set, nullptr, nullptr, &wait) != 1 || ::recv(connection, &c, 1, 0) != 1) return std::nullopt;
        if (c == '\n') return answer;
        answer += c;
    }
}

std::string windowsPathOf(const std::string& linuxPath) {
    using ToDos = WCHAR*(CDECL*)(const char*);
    const auto toDos = wineFunction<ToDos>("wine_get_dos_file_name");
    WCHAR* converted = toDos != nullptr ? toDos(linuxPath.c_str()) : nullptr;
    if (converted == nullptr) return linuxPath;
    char path[MAX_PATH * 4] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, converted, -1, path, sizeof path, nullptr, nullptr);
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return path;
}

std::string linuxPathOf(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    const auto toUnix = wineFunction<ToUnix>("wine_get_unix_file_name");
    WCHAR wide[MAX_PATH * 4] = {};
    ::MultiByteToWideChar(CP_UTF8, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 4);
    char* converted = toUnix != nullptr ? toUnix(wide) : nullptr;
    if (converted == nullptr) return windowsPath;
    std::string path = converted;
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return path;
}

}  // namespace bustest
