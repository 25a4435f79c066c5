// Stop requests from Windows hosts, which cannot run the stop tool on the bus: the host creates
// the empty file drives/<L>.stop, and the simulator answers it as the tool's "stop-drive L:"
// would be answered. A stopped drive is gone before its .stop file is removed; a refusal is the
// text "refused" in the file, which the host removes.
#pragma once

#include "event_loop.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The drive a name under drives/ asks to stop ("F.stop" or "f.stop": 'F', C to Z); nothing for
// any other name.
std::optional<char> stopRequestDrive(std::string_view fileName);

class StopRequests {
public:
    // The control socket's answer to "stop-drive L:": "ok", or "error <why>".
    using StopDrive = std::function<std::string(char letter)>;

    // Creates drivesDir when missing and answers the requests waiting there already and those to
    // come. Throws std::system_error.
    StopRequests(EventLoop& loop, std::filesystem::path drivesDir, StopDrive stopDrive);
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    void onChange();
    void answerWaiting();

    EventLoop& loop_;
    std::filesystem::path drivesDir_;
    StopDrive stopDrive_;
    int watchFd_ = -1;
};

}  // namespace sim
