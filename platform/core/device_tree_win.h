// Windows: the configuration manager's device tree as the platform layer walks it: a node's instance
// ID, the nodes from a node up to the root, and the instance ID and the USB port of the USB device
// that holds a node.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <string>
#include <vector>

namespace platform {

// The node's device instance ID, e.g. "USB\VID_04D8&PID_0040\LT0001234"; empty when it cannot be read.
std::string instanceIdOf(DEVINST node);

// node and its ancestors (CM_Get_Parent), node first, up to the root of the tree.
std::vector<DEVINST> nodesUpFrom(DEVINST node);

// The device instance ID of the USB device that holds node (usbDeviceNodeOf in usb_port.h), e.g.
// "USB\VID_1FC9&PID_0114\0123456789"; empty when no USB device holds it.
std::string usbDeviceIdOf(DEVINST node);

// The USB port of the device that holds node (a HID interface's device, a disk): the first location
// path (DEVPKEY_Device_LocationPaths, e.g. "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)") of the
// USB device node at or above it (usbDeviceNodeOf in usb_port.h), or its location information
// (DEVPKEY_Device_LocationInfo, "Port_#0003.Hub_#0002") where it has no location path. Empty when
// no USB device holds node or neither property can be read.
std::string usbPortOf(DEVINST node);

}  // namespace platform
