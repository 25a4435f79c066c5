#include "device_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace sim {
namespace {

constexpr std::uint32_t kMaxFlashBytes = 16u << 20;  // keeps a typo in a length from eating memory

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// Decimal, or hexadecimal with a 0x prefix.
std::uint64_t parseNumber(std::string_view text, std::uint64_t max, std::string_view what) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max)
        throw ConfigError(std::string(what) + ": '" + std::string(text) + "' is not a number from 0 to " +
                          std::to_string(max));
    return value;
}

std::vector<MemoryRegion> parseRegions(std::string_view text, int unitBytes) {
    std::vector<MemoryRegion> regions;
    if (text.empty()) return regions;  // a board whose query lists no region at all
    for (std::string_view item : split(text, ';')) {
        const auto fields = split(item, ':');
        if (fields.size() != 3) throw ConfigError("regions: '" + std::string(item) + "' is not type:start:length");
        MemoryRegion region;
        region.type = static_cast<std::uint8_t>(parseNumber(fields[0], 0xFE, "region type"));
        region.start = static_cast<std::uint32_t>(parseNumber(fields[1], 0xFFFFFFFF, "region start"));
        region.length = static_cast<std::uint32_t>(parseNumber(fields[2], 0xFFFFFFFF, "region length"));
        if (std::uint64_t{region.start} + region.length > 0x100000000ull)
            throw ConfigError("regions: '" + std::string(item) + "' runs past the 32-bit address space");
        regions.push_back(region);
    }
    if (regions.size() > kMaxRegions)
        throw ConfigError("regions: " + std::to_string(regions.size()) + " given, a query reply holds at most " +
                          std::to_string(kMaxRegions));
    std::uint64_t totalBytes = 0;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        totalBytes += std::uint64_t{regions[i].length} * unitBytes;
        for (std::size_t j = 0; j < i; ++j) {
            const auto& a = regions[i];
            const auto& b = regions[j];
            if (a.start < std::uint64_t{b.start} + b.length && b.start < std::uint64_t{a.start} + a.length)
                throw ConfigError("regions: region " + std::to_string(i + 1) + " overlaps region " +
                                  std::to_string(j + 1));
        }
    }
    if (totalBytes > kMaxFlashBytes) throw ConfigError("regions: more than 16 MiB of flash");
    return regions;
}

int parseMilliseconds(std::string_view value, std::string_view key) {
    return static_cast<int>(parseNumber(value, 600000, key));
}

// One line of printable ASCII, no blanks and no commas (which end a key=value on the command line).
bool isValidPort(std::string_view port) {
    if (port.size() > 128) return false;
    for (const char c : port) {
        const auto code = static_cast<unsigned char>(c);
        if (code <= ' ' || code > '~' || c == ',') return false;
    }
    return true;
}

char parseLetter(std::string_view value) {
    const char letter = value.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(value[0]))) : 0;
    return letter >= 'C' && letter <= 'Z' ? letter : 0;
}

const char* kindName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Board: return "board";
    case DeviceKind::Controller: return "controller";
    case DeviceKind::Stick: return "stick";
    }
    return "device";
}

bool isValidName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')) return false;
    return true;
}

// The rest of "NAME[,key=value...]" for a stick: letter=L, port=P, file=PATH (again for more files),
// unplugged.
DeviceConfig parseStickSpec(DeviceConfig config, const std::vector<std::string_view>& items) {
    config.hardwareId.clear();
    config.stick.letter = parseLetter(config.name);  // a stick named by a letter is that drive
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::string_view item = items[i];
        const auto eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
        if (key == "unplugged" && eq == std::string_view::npos) {
            config.startPlugged = false;
        } else if (eq == std::string_view::npos) {
            throw ConfigError(config.name + ": '" + std::string(item) + "' is not key=value");
        } else if (key == "port") {
            try {
                applyBehaviourSetting(config.behaviour, DeviceKind::Stick, key, value);
            } catch (const ConfigError& e) {
                throw ConfigError(config.name + ": " + e.what());
            }
        } else if (key == "letter") {
            config.stick.letter = parseLetter(value);
            if (config.stick.letter == 0) throw ConfigError(config.name + ": letter must be one of C to Z");
        } else if (key == "file") {
            if (value.empty()) throw ConfigError(config.name + ": file needs a file");
            config.stick.files.emplace_back(value);
        } else {
            throw ConfigError(config.name + ": unknown key '" + std::string(key) + "' for a stick (letter, port, file, " +
                              "unplugged)");
        }
    }
    return config;
}

}  // namespace

void applyBehaviourSetting(Behaviour& behaviour, DeviceKind kind, std::string_view key, std::string_view value) {
    const bool hid = kind != DeviceKind::Stick;
    if (key == "port") {
        if (!isValidPort(value))
            throw ConfigError("port: '" + std::string(value) + "' is not up to 128 printable ASCII characters " +
                              "without blanks or commas (e.g. 1-4 or 2-1.3; empty: not known)");
        behaviour.port = std::string(value);
    } else if (!hid) {
        throw ConfigError("'" + std::string(key) + "' cannot be set (a stick has port only)");
    } else if (key == "timing") {
        if (value == "none") behaviour.timing = Timing::None;
        else if (value == "full-speed") behaviour.timing = Timing::FullSpeed;
        else throw ConfigError("timing: '" + std::string(value) + "' is not full-speed or none");
    } else if (key == "fault") {
        if (value == "none") behaviour.fault = Fault::None;
        else if (value == "silent") behaviour.fault = Fault::Silent;
        else if (value == "no-ack") behaviour.fault = Fault::NoAck;
        else throw ConfigError("fault: '" + std::string(value) + "' is not silent, no-ack or none");
    } else if (key == "unplug-after") {
        behaviour.unplugAfter =
            static_cast<std::uint32_t>(parseNumber(value, std::numeric_limits<std::uint32_t>::max(), key));
    } else if (key == "wrong-acks") {
        behaviour.wrongAcks =
            static_cast<std::uint32_t>(parseNumber(value, std::numeric_limits<std::uint32_t>::max(), key));
    } else if (key == "disk" && kind == DeviceKind::Controller) {
        if (value == "normal") behaviour.disk = DiskFault::None;
        else if (value == "none") behaviour.disk = DiskFault::NoDisk;
        else if (value == "refuse") behaviour.disk = DiskFault::Refuse;
        else if (value == "stays") behaviour.disk = DiskFault::Stays;
        else throw ConfigError("disk: '" + std::string(value) + "' is not normal, none, refuse or stays");
    } else {
        throw ConfigError("'" + std::string(key) + "' cannot be set (port, fault, timing, unplug-after, wrong-acks" +
                          (kind == DeviceKind::Controller ? ", disk)" : ")"));
    }
}

DeviceConfig parseDeviceSpec(DeviceKind kind, std::string_view spec) {
    const auto items = split(spec, ',');
    DeviceConfig config;
    config.kind = kind;
    config.name = std::string(items[0]);
    if (!isValidName(config.name))
        throw ConfigError("device name '" + config.name + "': use 1 to 64 letters, digits, '-' or '_'");
    config.hardwareId = kind == DeviceKind::Board ? "HID\\VID_04D8&PID_003C&REV_0002" : "HID\\VID_1FC9&PID_0003&REV_0100";
    if (kind == DeviceKind::Stick) return parseStickSpec(std::move(config), items);

    std::string_view regionsText;
    bool regionsGiven = false;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::string_view item = items[i];
        const auto eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
        const bool hasValue = eq != std::string_view::npos;
        const bool board = kind == DeviceKind::Board;
        if (key == "unplugged" && !hasValue) {
            config.startPlugged = false;
        } else if (!hasValue) {
            throw ConfigError(config.name + ": '" + std::string(item) + "' is not key=value");
        } else if (key == "id") {
            if (value.empty() || value.find_first_of("\r\n") != std::string_view::npos)
                throw ConfigError(config.name + ": id must be one non-empty line");
            config.hardwareId = std::string(value);
        } else if (key == "port" || key == "timing" || key == "fault" || key == "unplug-after" || key == "wrong-acks" ||
                   (!board && key == "disk")) {
            try {
                applyBehaviourSetting(config.behaviour, kind, key, value);
            } catch (const ConfigError& e) {
                throw ConfigError(config.name + ": " + e.what());
            }
        } else if (board && key == "family") {
            if (value != "1" && value != "2") throw ConfigError(config.name + ": family must be 1 or 2");
            config.board.family = static_cast<std::uint8_t>(value[0] - '0');
        } else if (board && key == "bpp") {
            // Any byte value is reported as given, so hosts can be tried against unusable ones.
            config.board.bytesPerPacket = static_cast<std::uint8_t>(parseNumber(value, 255, "bpp"));
        } else if (board && key == "regions") {
            regionsText = value;
            regionsGiven = true;
        } else if (key == "erase-ms") {
            // A board's flash erase and its image-flash erase take the same time.
            config.controller.eraseMs = parseMilliseconds(value, key);
            if (board) config.board.eraseMs = config.controller.eraseMs;
        } else if (key == "arrays") {
            if (value != "1" && value != "2") throw ConfigError(config.name + ": arrays must be 1 or 2");
            config.controller.arrays = value[0] - '0';
        } else if (key == "seed") {
            config.controller.seed =
                static_cast<std::uint32_t>(parseNumber(value, std::numeric_limits<std::uint32_t>::max(), key));
        } else if (!board && key == "disk-ms") {
            config.controller.diskMs = parseMilliseconds(value, key);
        } else if (!board && key == "disk-letter") {
            const char letter = parseLetter(value);
            if (letter == 0) throw ConfigError(config.name + ": disk-letter must be one of C to Z");
            config.controller.diskLetter = letter;
        } else if (!board && key == "firmware") {
            if (value.empty()) throw ConfigError(config.name + ": firmware needs a file");
            config.controller.firmwarePath = std::string(value);
        } else if (board && key == "reset-ms") {
            config.board.resetMs = parseMilliseconds(value, key);
        } else {
            throw ConfigError(config.name + ": unknown key '" + std::string(key) + "' for a " + kindName(kind));
        }
    }
    // Parsed last: its size check depends on the family, which may come after it.
    if (regionsGiven) {
        try {
            config.board.regions = parseRegions(regionsText, bytesPerAddress(config.board.family));
        } catch (const ConfigError& e) {
            throw ConfigError(config.name + ": " + e.what());
        }
    }
    return config;
}

void assignDefaultPorts(std::vector<DeviceConfig>& devices) {
    const auto given = [&](const std::string& port) {
        return std::any_of(devices.begin(), devices.end(),
                           [&](const DeviceConfig& device) { return device.behaviour.port == port; });
    };
    int next = 1;
    for (DeviceConfig& device : devices) {
        if (device.behaviour.port) continue;
        while (given("1-" + std::to_string(next))) ++next;
        device.behaviour.port = "1-" + std::to_string(next++);
    }
}

}  // namespace sim
