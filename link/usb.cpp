#include "usb.h"

#include <algorithm>

ControllerLink& controllerLink()
{
    static ControllerLink link;
    return link;
}

bool PortFilter::takes(const std::string& interfacePort) const
{
    const bool unknown = std::find(ports.begin(), ports.end(), std::string()) != ports.end();
    const bool listed = std::find(ports.begin(), ports.end(), interfacePort) != ports.end();
    switch (kind) {
    case Kind::Any: return true;
    case Kind::Only: return unknown || listed;
    case Kind::AllBut: return !unknown && !listed;
    }
    return true;
}

std::optional<std::size_t> findMatchingInterface(const std::vector<platform::HidInterfaceInfo>& interfaces,
                                                 const std::string& vidPid, const PortFilter& ports)
{
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        if (!ports.takes(interfaces[i].port)) continue;
        std::string id = interfaces[i].hardwareId;
        std::transform(id.begin(), id.end(), id.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
        if (id.find(vidPid) != std::string::npos) return i;
    }
    return std::nullopt;
}

bool Find_HidDevice(const std::string& vidPid, const PortFilter& ports)
{
    platform::OsError error = platform::kOk;
    const auto interfaces = platform::listHidInterfaces(&error);
    if (error != platform::kOk) return false;
    const auto match = findMatchingInterface(interfaces, vidPid, ports);
    if (!match) return false;
    controllerLink().devicePath = interfaces[*match].path;
    controllerLink().devicePort = interfaces[*match].port;
    return true;
}

bool isControllerOnPort(const std::string& vidPid, const std::string& port)
{
    if (port.empty()) return false;
    return findMatchingInterface(platform::listHidInterfaces(), vidPid, {PortFilter::Kind::Only, {port}}).has_value();
}

bool Open_HidDevice()
{
    ControllerLink& link = controllerLink();
    // Replacing the handles closes a pair left open by an earlier detection instead of leaking it.
    link.writeHandle = platform::HidHandle::open(link.devicePath, platform::HidAccess::Write, link.writeOpenError);
    link.readHandle = platform::HidHandle::open(link.devicePath, platform::HidAccess::Read, link.readOpenError);
    return link.writeOpenError == platform::kOk && link.readOpenError == platform::kOk;
}

void Close_HidDevice()
{
    controllerLink().writeHandle.close();
    controllerLink().readHandle.close();
}
