#include "platform/drives/usb_eject_rules.h"
#include "platform/core/usb_port.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <thread>

namespace platform {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

bool equalsNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && startsWithNoCase(a, b); }

bool isUsb(const DeviceNode& node) { return isUsbInstanceId(node.instanceId); }

// The USB class of hubs is 9; root hubs and hubs whose driver does not name the class are known by
// their service.
bool isUsbHub(const DeviceNode& node)
{
    const bool hubClass = std::any_of(node.compatibleIds.begin(), node.compatibleIds.end(),
                                      [](const std::string& id) { return startsWithNoCase(id, "USB\\Class_09"); });
    const bool hubService = equalsNoCase(node.service, "usbhub") || equalsNoCase(node.service, "usbhub3");
    return hubClass || hubService || startsWithNoCase(node.instanceId, "USB\\ROOT_HUB");
}

// One function of a composite device ("USB\VID_04D8&PID_0040&MI_01\..."): its parent is the device.
bool isCompositeFunction(const DeviceNode& node) { return isCompositeFunctionId(node.instanceId); }

bool isPassingHold(std::uint32_t vetoType)
{
    switch (vetoType) {
    case kVetoTypeUnknown:
    case kVetoPendingClose:
    case kVetoWindowsApp:
    case kVetoWindowsService:
    case kVetoOutstandingOpen:
    case kVetoDevice:
    case kVetoDriver:
        return true;
    default:
        return false;
    }
}

std::string heldBy(const EjectAnswer& answer)
{
    return answer.vetoName.empty() ? std::string() : " (held by " + answer.vetoName + ")";
}

}  // namespace

std::optional<std::size_t> nodeToEject(const std::vector<DeviceNode>& fromDiskUp)
{
    for (std::size_t i = 0; i < fromDiskUp.size(); ++i) {
        const DeviceNode& node = fromDiskUp[i];
        if (!isUsb(node)) continue;
        if (isUsbHub(node)) return std::nullopt;
        if (!isCompositeFunction(node)) return i;
    }
    return std::nullopt;
}

EjectVerdict judgeEjectAnswer(const EjectAnswer& answer)
{
    // The device left between the request and the answer (its disk was being stopped anyway).
    if (answer.vetoType == kVetoAlreadyRemoved || answer.result == kConfigNoSuchDevNode ||
        answer.result == kConfigInvalidDevNode)
        return EjectVerdict::Ejected;
    if (answer.result == kConfigAccessDenied || answer.vetoType == kVetoInsufficientRights)
        return EjectVerdict::NotAllowed;
    if (answer.result == kConfigSuccess && answer.vetoType == kVetoTypeUnknown) return EjectVerdict::Ejected;
    // A veto comes as CR_REMOVE_VETOED, and from some systems as success with the veto's type set.
    if (answer.result == kConfigRemoveVetoed || answer.result == kConfigSuccess)
        return isPassingHold(answer.vetoType) ? EjectVerdict::TryAgain : EjectVerdict::Refused;
    return EjectVerdict::Refused;
}

std::optional<std::string> ejectWithRetries(const std::function<EjectAnswer()>& request, const std::string& drive,
                                            bool remoteSession, std::chrono::milliseconds retryFor,
                                            std::chrono::milliseconds pause)
{
    const auto start = std::chrono::steady_clock::now();
    EjectAnswer answer = request();
    EjectVerdict verdict = judgeEjectAnswer(answer);
    while (verdict == EjectVerdict::TryAgain && std::chrono::steady_clock::now() + pause < start + retryFor) {
        std::this_thread::sleep_for(pause);
        answer = request();
        verdict = judgeEjectAnswer(answer);
    }
    const std::string unplug = "; unplug the controller now";
    switch (verdict) {
    case EjectVerdict::Ejected:
        return std::nullopt;
    case EjectVerdict::NotAllowed:
        return (remoteSession ? "this remote desktop session" : "this user") +
               std::string(" may not eject the device of ") + drive + unplug;
    case EjectVerdict::TryAgain:
        return "the device of " + drive + " was still held after " + std::to_string(retryFor.count()) +
               " ms of asking" + heldBy(answer) + (remoteSession ? unplug : "");
    case EjectVerdict::Refused:
        break;
    }
    return "the system refused to eject the device of " + drive + heldBy(answer) + (remoteSession ? unplug : "");
}

}  // namespace platform
