// A Windows test's connection to the test broker (tests/support/test_broker.cpp), the Linux
// program that does what a program under Wine cannot: start and wait for Linux programs. Its port
// is in LUMARO_TEST_BROKER, and the run's token that it asks of every connection in
// LUMARO_TEST_BROKER_TOKEN. Paths cross between the two sides through Wine's own mapping.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace bustest {

class BrokerConnection {
public:
    BrokerConnection();  // throws std::runtime_error when the broker cannot be reached or refuses
    ~BrokerConnection();
    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;

    // Sends one request line and returns the answer line; nothing when none came within limit.
    std::optional<std::string> ask(const std::string& request,
                                   std::chrono::milliseconds limit = std::chrono::seconds(10));
    // The next line the broker sends; nothing when none came within limit.
    std::optional<std::string> nextLine(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    std::uintptr_t socket_;
};

// A Linux path as this process names it, and back (under Wine; the same path elsewhere); the
// Windows side in UTF-8, as the program carries paths.
std::string windowsPathOf(const std::string& linuxPath);
std::string linuxPathOf(const std::string& windowsPath);

}  // namespace bustest
