// The controller link: the program's one connection to the controller's HID interface. Finds the
// controller among the present interfaces by its identity text and holds the two handles that
// every packet travels through.
#pragma once

#include "platform/hid/hid.h"
#include "platform/core/os_error.h"

#include <optional>
#include <string>
#include <vector>

struct ControllerLink {
    std::string devicePath;          // path of the interface the last successful search matched
    std::string devicePort;          // its USB port; empty when the system cannot tell
    platform::HidHandle writeHandle;
    platform::HidHandle readHandle;
    platform::OsError writeOpenError = platform::kOk;
    platform::OsError readOpenError = platform::kOk;
    platform::OsError lastIoError = platform::kOk;
    platform::Report packetBuffer{};  // one exchange at a time shares this buffer
};

// The process-wide link; every caller reaches the same one.
ControllerLink& controllerLink();

// Which ports a search takes: any, only these, or any but these (units just updated, which come
// back on their own ports). Where the system cannot tell ports (an empty one in the list), every
// interface is on the same unknown port: Only takes all of them, AllBut none.
struct PortFilter {
    enum class Kind { Any, Only, AllBut };
    Kind kind = Kind::Any;
    std::vector<std::string> ports;
    bool takes(const std::string& interfacePort) const;
};

// Index of the first interface whose first hardware-ID string, upper-cased, contains vidPid
// (taken as given, so a lower-case vidPid never matches) and whose port the filter takes; nullopt
// when none does.
std::optional<std::size_t> findMatchingInterface(const std::vector<platform::HidInterfaceInfo>& interfaces,
                                                 const std::string& vidPid, const PortFilter& ports = {});

// Searches the present HID interfaces for vidPid. On a match stores its path in devicePath (and
// its port in devicePort) and returns true; otherwise (also when the list cannot be read) returns
// false, devicePath unchanged.
bool Find_HidDevice(const std::string& vidPid, const PortFilter& ports = {});

// Whether an interface of vidPid is present on port; the link is left as it is.
bool isControllerOnPort(const std::string& vidPid, const std::string& port);

// Opens writeHandle and readHandle on devicePath, keeping each open's error code. A pair that is
// still open is closed first. Returns true when both opens succeeded.
bool Open_HidDevice();

// Closes both handles; failures are ignored.
void Close_HidDevice();
