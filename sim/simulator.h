// The simulator: serves the configured devices on a bus directory from one event loop until it is
// told to stop (quit, SIGTERM, SIGINT), then takes every device off the bus.
#pragma once

#include "cli_options.h"
#include "event_loop.h"
#include "frame_clock.h"
#include "recorder.h"
#include "bus_device.h"
#include "stop_requests.h"
#include "stop_tool.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Simulator {
public:
    explicit Simulator(const SimOptions& options);  // throws std::system_error
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Plugs the devices that start plugged, prints "ready" and serves until stopped.
    void run();

private:
    std::string execute(std::string_view line);
    std::string stopDrive(char letter);
    std::string dump(const BusDevice& device, const std::string& path);
    BusDevice* find(std::string_view name);
    int msUntilNextDeadline(Clock::time_point now) const;
    void serveFrame();

    Clock::time_point origin_;
    EventLoop loop_;
    Recorder recorder_;
    FrameClock frames_;
    std::vector<std::unique_ptr<BusDevice>> devices_;
    std::vector<BusDevice*> startPlugged_;
    std::unique_ptr<class ControlServer> control_;
    std::unique_ptr<StopTool> stopTool_;
    std::unique_ptr<StopRequests> stopRequests_;
    int signalFd_ = -1;
    bool stop_ = false;
};

}  // namespace sim
