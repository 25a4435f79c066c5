// The simulator run for this process by the test broker on the Linux side of Wine: the connection
// to the broker holds it, and its files are reached through Wine's drives.
#include "sim_process.h"

#include "broker_connection_win.h"

#include <cstdlib>
#include <stdexcept>

namespace lumaro::test {

class SimProcess::Running : public bustest::BrokerConnection {};

SimProcess::SimProcess(const std::vector<std::string>& deviceArgs, std::chrono::milliseconds readyLimit)
    : running_(std::make_unique<Running>()) {
    std::string request = "start\t" + std::to_string(readyLimit.count());
    for (const std::string& arg : deviceArgs) request += '\t' + arg;
    const std::string answer = running_->ask(request, readyLimit + std::chrono::seconds(10)).value_or("no answer");
    if (answer.rfind("ready\t", 0) != 0) throw std::runtime_error("the simulator did not get ready: " + answer);
    simRoot_ = answer.substr(6);
    root_ = bustest::windowsPathOf(simRoot_);
    busDir_ = root_ + "\\bus";
}

SimProcess::~SimProcess() = default;  // the broker ends the simulator and removes its folder

std::string SimProcess::control(const std::string& command) const {
    const std::optional<std::string> answer = running_->ask("control\t" + command);
    if (!answer || answer->empty()) throw std::runtime_error("no answer from the simulator to '" + command + "'");
    return *answer;
}

int SimProcess::stop() {
    const std::optional<std::string> answer = running_->ask("stop");
    return answer ? std::atoi(answer->c_str()) : -1;
}

}  // namespace lumaro::test
