// How the USB device that holds a disk is ejected: which device of the tree is asked, and how its
// answers are taken. Apart from the configuration manager's calls (usb_eject_win.cpp), so that the
// decisions can be tested anywhere.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One device node, as the configuration manager describes it.
struct DeviceNode {
    std::string instanceId;                  // e.g. "USB\VID_04D8&PID_0040\6&2A1B3C&0&3"
    std::vector<std::string> compatibleIds;  // e.g. "USB\Class_09&SubClass_00&Prot_00" for a hub
    std::string service;                     // its driver's service, e.g. "USBSTOR", "USBHUB3"
};

// Which of the nodes from a disk (first) up towards the root to eject: the first USB device
// (instance ID "USB\...") that is not one function of a composite device. Nothing when the walk
// meets a USB hub first (a hub, or a dock with its hub, above the disk is never ejected), and
// nothing when no USB device holds the disk (a card slot, a fixed disk): that is no controller's.
std::optional<std::size_t> nodeToEject(const std::vector<DeviceNode>& fromDiskUp);

// The configuration manager's answer to one eject request, in its own numbers.
struct EjectAnswer {
    std::uint32_t result = 0;    // CONFIGRET
    std::uint32_t vetoType = 0;  // PNP_VETO_TYPE
    std::string vetoName;        // what vetoed: a program, a service or a device, by name
};

inline constexpr std::uint32_t kConfigSuccess = 0x00;       // CR_SUCCESS
inline constexpr std::uint32_t kConfigInvalidDevNode = 0x05;  // CR_INVALID_DEVNODE
inline constexpr std::uint32_t kConfigNoSuchDevNode = 0x0D;   // CR_NO_SUCH_DEVNODE
inline constexpr std::uint32_t kConfigRemoveVetoed = 0x17;  // CR_REMOVE_VETOED
inline constexpr std::uint32_t kConfigAccessDenied = 0x33;  // CR_ACCESS_DENIED
enum VetoType : std::uint32_t {                             // PNP_VETO_TYPE
    kVetoTypeUnknown = 0,
    kVetoPendingClose = 2,
    kVetoWindowsApp = 3,
    kVetoWindowsService = 4,
    kVetoOutstandingOpen = 5,
    kVetoDevice = 6,
    kVetoDriver = 7,
    kVetoInsufficientRights = 12,
    kVetoAlreadyRemoved = 13,
};

enum class EjectVerdict {
    Ejected,
    TryAgain,    // held for now: a program, a service or a driver has the disk open
    NotAllowed,  // this user may not eject (a remote desktop session, or policy)
    Refused,     // the device cannot be ejected, whatever waiting does
};

EjectVerdict judgeEjectAnswer(const EjectAnswer& answer);

// Right after the copy, virus scanners and the search indexer often hold the new disk for a moment.
inline constexpr std::chrono::milliseconds kEjectRetryFor{10000};
inline constexpr std::chrono::milliseconds kEjectRetryPause{250};

// Asks request for the eject of the device of drive until it is ejected, refused in a way that
// waiting does not change, or retryFor has passed since the first request, pausing between requests.
// Nothing when ejected, else why not, for the log. A user who may not eject is told to unplug the
// controller, as is everyone in a remote desktop session (remoteSession) whatever the refusal.
std::optional<std::string> ejectWithRetries(const std::function<EjectAnswer()>& request, const std::string& drive,
                                            bool remoteSession, std::chrono::milliseconds retryFor = kEjectRetryFor,
                                            std::chrono::milliseconds pause = kEjectRetryPause);

}  // namespace platform
