#include "platform/core/usb_port.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// One or more digits from at, up to the end or to a separator; at moves past them.
bool digitsAt(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && isDigit(text[at])) ++at;
    return at > start;
}

bool equalNoCase(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool startsWithNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && std::equal(start.begin(), start.end(), text.begin(), equalNoCase);
}

}  // namespace

bool isUsbDeviceName(std::string_view name) {
    std::size_t at = 0;
    if (!digitsAt(name, at) || at == name.size() || name[at] != '-') return false;
    ++at;
    if (!digitsAt(name, at)) return false;
    while (at < name.size()) {
        if (name[at] != '.') return false;
        ++at;
        if (!digitsAt(name, at)) return false;
    }
    return true;
}

std::string usbPortOfSysfsPath(std::string_view resolvedPath) {
    std::size_t end = resolvedPath.size();
    while (end > 0) {
        const std::size_t slash = resolvedPath.rfind('/', end - 1);
        const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        const std::string_view name = resolvedPath.substr(start, end - start);
        if (isUsbDeviceName(name)) return std::string(name);
        if (slash == std::string_view::npos) break;
        end = slash;
    }
    return {};
}

std::string usbIdentity(std::string_view vendorId, std::string_view productId, std::string_view serial) {
    const auto hex4 = [](std::string_view id) {
        if (id.empty() || id.size() > 4 || !std::all_of(id.begin(), id.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
            return std::string();
        std::string digits(4 - id.size(), '0');
        for (char c : id) digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return digits;
    };
    const std::string vendor = hex4(vendorId);
    const std::string product = hex4(productId);
    if (vendor.empty() || product.empty()) return {};
    return "USB\\VID_" + vendor + "&PID_" + product + "\\" + (serial.empty() ? std::string("-") : std::string(serial));
}

std::string usbModelIdentity(std::string_view identity) {
    const std::size_t serialStart = identity.find('\\', 4);
    return std::string(identity.substr(0, serialStart));
}

bool isUsbInstanceId(std::string_view instanceId) { return startsWithNoCase(instanceId, "USB\\"); }

bool isCompositeFunctionId(std::string_view instanceId) {
    // The device part ends at the second backslash: "USB\VID_04D8&PID_0040&MI_01" of
    // "USB\VID_04D8&PID_0040&MI_01\7&2B3C&0&0001"; the serial or instance part after it is not looked at.
    const std::size_t deviceEnd = instanceId.find('\\', 4);
    const std::string_view device = instanceId.substr(0, deviceEnd);
    for (std::size_t at = 0; at + 4 <= device.size(); ++at)
        if (startsWithNoCase(device.substr(at), "&MI_")) return true;
    return false;
}

std::optional<std::size_t> usbDeviceNodeOf(const std::vector<std::string>& instanceIdsFromNodeUp) {
    for (std::size_t i = 0; i < instanceIdsFromNodeUp.size(); ++i) {
        const std::string& id = instanceIdsFromNodeUp[i];
        if (isUsbInstanceId(id) && !isCompositeFunctionId(id)) return i;
    }
    return std::nullopt;
}

}  // namespace platform
