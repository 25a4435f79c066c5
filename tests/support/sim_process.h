// A tessaray-sim process for tests: a fresh bus directory, the simulator serving the given devices
// with its record in the same temporary folder, and a clean stop when the object goes.
#pragma once

#include "platform/hid.h"

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace lumaro::test {

// One line of the simulator's record: a report (dir "out": host to device, "in": device to host)
// or an event (dir and report empty).
struct SimRecord {
    double tMs = 0;
    std::string device;
    std::string dir;
    platform::Report report{};
    std::string event;
};

class SimProcess {
public:
    // deviceArgs: the DEVICE part of the command line, e.g. {"--board", "board,erase-ms=50"}.
    // The simulator is also stopped when the thread that created this object ends, so that a
    // crashed test leaves nothing running: create it on the thread that runs the test.
    // Throws std::runtime_error when the simulator does not print "ready" within readyLimit.
    explicit SimProcess(const std::vector<std::string>& deviceArgs,
                        std::chrono::milliseconds readyLimit = std::chrono::seconds(10));
    ~SimProcess();  // stops the simulator and removes the temporary folder
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& busDir() const { return busDir_; }
    std::string controlPath() const { return busDir_ + "/sim.control"; }
    std::string recordPath() const { return root_ + "/record.jsonl"; }
    pid_t pid() const { return pid_; }

    // Points this process's virtual-bus clients at the simulator's bus (LUMARO_VBUS_DIR).
    void useBus() const;

    // Sends one control command ("unplug board") and returns the answer line ("ok", "error ...");
    // throws std::runtime_error when no answer comes within 5 s.
    std::string control(const std::string& command) const;

    // Everything recorded so far, in order.
    std::vector<SimRecord> records() const;

    // Waits until the record holds the given event of the device `count` times; false after limit.
    bool waitForEvent(const std::string& device, const std::string& event, int count = 1,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // Ends the simulator (SIGTERM unless it has ended already; SIGKILL when it does not end in
    // time) and returns its exit code, or 128 + the signal that ended it.
    int stop();

private:
    std::string root_;
    std::string busDir_;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int exitCode_ = -1;
};

}  // namespace lumaro::test
