#include "platform/drives/usb_eject_win.h"

#include "platform/drives/usb_eject_rules.h"
#include "platform/core/device_tree_win.h"
#include "platform/core/token_privilege_win.h"
#include "platform/core/utf8_path.h"

#include <cwchar>
#include <filesystem>
#include <vector>

namespace platform {
namespace {

// Device IDs, service names and veto names are UTF-16 texts; converted as paths are.
std::string utf8Of(const wchar_t* text) { return utf8String(std::filesystem::path(text)); }

// A registry property of the node holding one or more texts (REG_SZ, REG_MULTI_SZ); none when the
// node has no such property.
std::vector<std::string> textsOf(DEVINST node, ULONG property)
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        ULONG size = static_cast<ULONG>(buffer.size() * sizeof(wchar_t));
        const CONFIGRET result = CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer.data(), &size, 0);
        if (result == CR_BUFFER_SMALL) {
            buffer.resize(size / sizeof(wchar_t) + 2);
            continue;
        }
        if (result != CR_SUCCESS) return {};
        // Ends in two zeros, even where the stored value did not.
        buffer.resize(size / sizeof(wchar_t));
        buffer.insert(buffer.end(), 2, L'\0');
        break;
    }
    std::vector<std::string> texts;
    for (const wchar_t* text = buffer.data(); *text != L'\0'; text += std::wcslen(text) + 1) texts.push_back(utf8Of(text));
    return texts;
}

DeviceNode describeNode(DEVINST node)
{
    std::vector<std::string> service = textsOf(node, CM_DRP_SERVICE);
    return {instanceIdOf(node), textsOf(node, CM_DRP_COMPATIBLEIDS), service.empty() ? std::string() : service.front()};
}

EjectAnswer requestEject(DEVINST node)
{
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t vetoName[MAX_PATH] = {};
    // With a name buffer the system shows no message of its own: the update log says what failed.
    const CONFIGRET result = CM_Request_Device_EjectW(node, &veto, vetoName, MAX_PATH, 0);
    return {result, static_cast<std::uint32_t>(veto), utf8Of(vetoName)};
}

}  // namespace

static_assert(kConfigSuccess == CR_SUCCESS && kConfigRemoveVetoed == CR_REMOVE_VETOED &&
              kConfigAccessDenied == CR_ACCESS_DENIED && kConfigNoSuchDevNode == CR_NO_SUCH_DEVNODE &&
              kConfigInvalidDevNode == CR_INVALID_DEVNODE);
static_assert(kVetoOutstandingOpen == static_cast<std::uint32_t>(PNP_VetoOutstandingOpen) &&
              kVetoInsufficientRights == static_cast<std::uint32_t>(PNP_VetoInsufficientRights) &&
              kVetoAlreadyRemoved == static_cast<std::uint32_t>(PNP_VetoAlreadyRemoved));

std::optional<std::string> ejectUsbDeviceOf(DEVINST disk, const std::string& drive, std::chrono::milliseconds retryFor)
{
    const std::vector<DEVINST> nodes = nodesUpFrom(disk);
    std::vector<DeviceNode> described;
    for (DEVINST node : nodes) described.push_back(describeNode(node));
    const std::optional<std::size_t> target = nodeToEject(described);
    if (!target) return "no USB device of its own holds " + drive + " (or it could not be told from the USB hub it hangs on)";
    const bool remoteSession = GetSystemMetrics(SM_REMOTESESSION) != 0;
    // From a remote desktop session the system ejects only for a caller with this privilege switched
    // on, which an administrator's token holds switched off.
    const EnabledPrivilege loadDriver(L"SeLoadDriverPrivilege");
    return ejectWithRetries([node = nodes[*target]] { return requestEject(node); }, drive, remoteSession, retryFor);
}

}  // namespace platform
