#include "platform/core/device_tree_win.h"

#include "platform/core/usb_port.h"
#include "platform/core/utf8_text_win.h"

// The property keys are defined (not only declared) in this file.
#include <initguid.h>
#include <devpkey.h>

#include <cwchar>
#include <optional>

namespace platform {
namespace {

// A string or string-list property of the node (the unified property model), its texts in order;
// none when the node has no such property or it holds something else.
std::vector<std::string> propertyTexts(DEVINST node, const DEVPROPKEY& key) {
    std::vector<wchar_t> buffer(256);
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    for (int attempt = 0;; ++attempt) {
        // Two more characters than the system is told of: the list ends in two zeros whatever it holds.
        ULONG size = static_cast<ULONG>((buffer.size() - 2) * sizeof(wchar_t));
        const CONFIGRET result =
            CM_Get_DevNode_PropertyW(node, &key, &type, reinterpret_cast<PBYTE>(buffer.data()), &size, 0);
        if (result == CR_BUFFER_SMALL && attempt < 4) {
            buffer.assign(size / sizeof(wchar_t) + 3, L'\0');
            continue;
        }
        if (result != CR_SUCCESS) return {};
        buffer.resize(size / sizeof(wchar_t));
        buffer.insert(buffer.end(), 2, L'\0');
        break;
    }
    if (type != DEVPROP_TYPE_STRING && type != DEVPROP_TYPE_STRING_LIST) return {};
    std::vector<std::string> texts;
    for (const wchar_t* text = buffer.data(); *text != L'\0'; text += std::wcslen(text) + 1)
        texts.push_back(utf8FromUtf16(text));
    return texts;
}

// The node of the USB device at or above node.
std::optional<DEVINST> usbDeviceNodeAbove(DEVINST node) {
    const std::vector<DEVINST> nodes = nodesUpFrom(node);
    std::vector<std::string> ids;
    ids.reserve(nodes.size());
    for (DEVINST each : nodes) ids.push_back(instanceIdOf(each));
    const auto usbDevice = usbDeviceNodeOf(ids);
    if (!usbDevice) return std::nullopt;
    return nodes[*usbDevice];
}

}  // namespace

std::string instanceIdOf(DEVINST node) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN + 1, 0) == CR_SUCCESS ? utf8FromUtf16(id) : std::string();
}

std::vector<DEVINST> nodesUpFrom(DEVINST node) {
    constexpr std::size_t kDeepestTree = 64;  // a device tree is a handful of levels deep
    std::vector<DEVINST> nodes{node};
    for (DEVINST parent = 0; nodes.size() < kDeepestTree && CM_Get_Parent(&parent, nodes.back(), 0) == CR_SUCCESS;)
        nodes.push_back(parent);
    return nodes;
}

std::string usbDeviceIdOf(DEVINST node) {
    const auto usbDevice = usbDeviceNodeAbove(node);
    return usbDevice ? instanceIdOf(*usbDevice) : std::string();
}

std::string usbPortOf(DEVINST node) {
    const auto usbDevice = usbDeviceNodeAbove(node);
    if (!usbDevice) return {};
    for (const DEVPROPKEY* key : {&DEVPKEY_Device_LocationPaths, &DEVPKEY_Device_LocationInfo}) {
        const std::vector<std::string> texts = propertyTexts(*usbDevice, *key);
        if (!texts.empty() && !texts.front().empty()) return texts.front();
    }
    return {};
}

}  // namespace platform
