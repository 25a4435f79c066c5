// What one simulated device is and how it behaves, as given on the command line
// (--board NAME,key=value... / --controller NAME,key=value... / --stick NAME,key=value...) or changed
// at run time.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Bad input from the user: the message says what and where.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class DeviceKind { Board, Controller, Stick };
enum class Timing { None, FullSpeed };

struct MemoryRegion {
    std::uint8_t type = 0;
    std::uint32_t start = 0;   // in device address units
    std::uint32_t length = 0;  // in device address units
};

inline constexpr std::uint8_t kConfigRegionType = 3;  // configuration words: left alone by erase
inline constexpr std::size_t kMaxRegions = 4;         // what one query reply can list

struct BoardSettings {
    std::uint8_t family = 1;
    std::uint8_t bytesPerPacket = 56;
    // A PIC18F47J53 behind its HID bootloader: program memory above the bootloader, then the
    // configuration words at the top of flash.
    std::vector<MemoryRegion> regions{{1, 0x1000, 0x1EFF8}, {kConfigRegionType, 0x1FFF8, 8}};
    int eraseMs = 400;
    int resetMs = 300;
};

// The application firmware of a controller; a board's controller side uses eraseMs, arrays and
// seed (a board's erase-ms sets both of its erase times).
struct ControllerSettings {
    int eraseMs = 300;              // image-flash erase, until the acknowledgement
    int diskMs = 1500;              // from the bootloader-mode request to the update disk
    char diskLetter = 0;            // the update disk's drive letter; 0: the first free from F
    std::string firmwarePath;       // the firmware it runs at start-up; empty: kDefaultFirmware
    int arrays = 1;                 // LED arrays: the layout of the temperature reply
    std::uint32_t seed = 1;         // how its measurements drift
};

inline constexpr const char* kDefaultFirmware = "tessaray firmware 1.0.0\n";

// A plain USB stick: a drive of its own on a port of its own, with files that are none of the
// controller's business.
struct StickSettings {
    char letter = 0;                 // its drive letter; 0: the first free from F when it is plugged in
    std::vector<std::string> files;  // copied onto it under their own names; none: kStickFirmware as firmware.bin
};

inline constexpr const char* kStickFirmware = "firmware.bin of another device, on a USB stick\n";

enum class Fault { None, Silent, NoAck };
enum class DiskFault { None, NoDisk, Refuse, Stays };

// The settings that may also change while the simulator runs.
struct Behaviour {
    Timing timing = Timing::None;
    Fault fault = Fault::None;       // silent: takes reports, answers nothing; no-ack: answers
                                     // everything but the acknowledgements
    std::uint32_t unplugAfter = 0;   // leave the bus after this many reports; 0: never
    std::uint32_t wrongAcks = 0;     // this many acknowledgements each come after a wrong one
    DiskFault disk = DiskFault::None;  // controllers: no disk, one that refuses the copy, or one that never stops
    // The USB port the device is plugged into (hid/<name>.port, and drives/<L>.port for its drive),
    // as a hub chain such as "1-4"; empty: not known, as on a system that cannot tell, and no port
    // file is written. A change takes effect the next time the device appears on the bus. Unset only
    // until the command line gives each device its default (assignDefaultPorts).
    std::optional<std::string> port;
};

struct DeviceConfig {
    DeviceKind kind = DeviceKind::Board;
    std::string name;
    std::string hardwareId;
    bool startPlugged = true;
    Behaviour behaviour;
    BoardSettings board;  // used by boards only
    ControllerSettings controller;
    StickSettings stick;  // used by sticks only
};

// Parses "NAME[,key=value...]" for the given kind; throws ConfigError.
DeviceConfig parseDeviceSpec(DeviceKind kind, std::string_view spec);

// Applies one run-time setting (port; fault, timing, unplug-after, wrong-acks for boards and
// controllers; disk for controllers); throws ConfigError.
void applyBehaviourSetting(Behaviour& behaviour, DeviceKind kind, std::string_view key, std::string_view value);

// Gives every device whose port is unset a port of its own: "1-1", "1-2", ... in the devices' order,
// passing over the ports given on the command line.
void assignDefaultPorts(std::vector<DeviceConfig>& devices);

// Bytes of flash per device address unit for a device family.
inline int bytesPerAddress(std::uint8_t family) { return family == 2 ? 2 : 1; }

}  // namespace sim
