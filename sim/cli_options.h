// The command lines of tessaray-sim: serving a bus, and the "ctl" client of a running simulator.
#pragma once

#include "device_config.h"

#include <string>
#include <vector>

namespace sim {

struct SimOptions {
    std::string busDir;
    std::string recordPath;   // empty: no record
    std::string controlPath;  // the bus's sim.control unless given
    std::vector<DeviceConfig> devices;
    // Boards and controllers as USB gadgets of this Linux kernel (dummy_udc.0, .1, ... in their
    // order) instead of on the bus; the bus keeps the control socket (and any stick).
    bool usb = false;
};

struct CtlOptions {
    std::string controlPath;
    std::string command;  // the words, joined by single spaces
};

extern const char* const kUsage;

// Both throw ConfigError on bad input. args excludes the program name (and, for ctl, "ctl").
SimOptions parseSimOptions(const std::vector<std::string>& args);
CtlOptions parseCtlOptions(const std::vector<std::string>& args);

}  // namespace sim
