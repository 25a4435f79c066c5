#include "cli_options.h"

#include <filesystem>

namespace sim {

const char* const kUsage =
    "usage: tessaray-sim --bus DIR [--record FILE] [--control PATH] [--usb] DEVICE...\n"
    "       tessaray-sim ctl [--control PATH | --bus DIR] COMMAND...\n"
    "DEVICE: --board NAME[,key=value...] | --controller NAME[,key=value...] | --stick NAME[,key=value...]\n"
    "  every device: port=PORT (the USB port it is plugged into, e.g. 1-4 or 2-1.3, in hid/NAME.port and\n"
    "    drives/L.port; default 1-1, 1-2, ... in the devices' order, passing over ports given; port= with\n"
    "    no value: not known, no port file) unplugged\n"
    "  boards and controllers: id=HWID timing=full-speed|none unplug-after=N (0: never)\n"
    "    fault=none|silent|no-ack  wrong-acks=N (the next N acknowledgements come after a wrong one)\n"
    "    erase-ms=N (image-flash erase; a board's flash erase too) arrays=1|2 seed=N (measurements)\n"
    "  board keys: family=1|2 bpp=N regions=type:start:length;... reset-ms=N\n"
    "    (a board answers the controller frames as well, all but bootloader mode)\n"
    "  controller keys: disk-ms=N (bootloader mode to update disk, up to 600000; 20000 stands for a PC\n"
    "    that installs the disk's driver first) disk-letter=L (default: first free from F)\n"
    "    firmware=FILE (its firmware.bin; default a short text) disk=normal|none|refuse|stays (stays: a\n"
    "    stop is refused)\n"
    "    (the update disk is on the controller's port: drives/L.port holds what hid/NAME.port held)\n"
    "  --usb: boards and controllers are USB devices of this Linux kernel instead (root; configfs\n"
    "    gadgets on dummy_udc.0, .1, ... in their order: modprobe dummy_hcd num=N): a HID function with\n"
    "    the model's VID, PID and strings; a controller's update disk a removable mass-storage device\n"
    "    (FAT, firmware.bin) that the host stops by powering it off (udisksctl power-off); port= and\n"
    "    timing= do not apply (the kernel's USB does)\n"
    "  stick keys (a plain USB stick, drive L on a port of its own): letter=L (default: NAME when it is\n"
    "    one letter C to Z, else the first free from F) file=FILE (copied onto it under its own name;\n"
    "    again for more files; default: a firmware.bin of another device). It keeps its files while\n"
    "    unplugged; stopping it (the stop tool, drives/L.stop) unplugs it.\n"
    "COMMAND: plug NAME | unplug NAME | set NAME key=value (port; fault, timing, unplug-after,\n"
    "  wrong-acks for boards and controllers; disk for controllers; a new port counts from the device's\n"
    "  next appearance) | dump NAME PATH (image flash, record i at 54 x i) | stop-drive L: | quit\n"
    "The bus gets tools/S1 and tools/S2: run as \"S2 /stop_by_drive F:\" they stop drive F:, and the\n"
    "controller comes back with F:\\Upfirmware.bin as its firmware.\n"
    "Windows hosts (no Unix sockets): each interface also listens on the 127.0.0.1 port that\n"
    "hid/NAME.tcp names, and an empty drives/L.stop asks what the tool does: the simulator removes\n"
    "the file once the drive is stopped, or writes \"refused\" into it.\n";

namespace {

std::string defaultControlPath(const std::string& busDir) { return (std::filesystem::path(busDir) / "sim.control").string(); }

// The value that follows an option, or a clear complaint.
const std::string& valueOf(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size() || args[i + 1].empty()) throw ConfigError(args[i] + " needs a value");
    return args[++i];
}

}  // namespace

SimOptions parseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--bus") options.busDir = valueOf(args, i);
        else if (arg == "--record") options.recordPath = valueOf(args, i);
        else if (arg == "--control") options.controlPath = valueOf(args, i);
        else if (arg == "--usb") options.usb = true;
        else if (arg == "--board") options.devices.push_back(parseDeviceSpec(DeviceKind::Board, valueOf(args, i)));
        else if (arg == "--controller")
            options.devices.push_back(parseDeviceSpec(DeviceKind::Controller, valueOf(args, i)));
        else if (arg == "--stick") options.devices.push_back(parseDeviceSpec(DeviceKind::Stick, valueOf(args, i)));
        else throw ConfigError("unknown argument '" + arg + "'");
    }
    if (options.busDir.empty()) throw ConfigError("--bus DIR is required");
    if (options.controlPath.empty()) options.controlPath = defaultControlPath(options.busDir);
    for (std::size_t i = 0; i < options.devices.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (options.devices[i].name == options.devices[j].name)
                throw ConfigError("two devices are named '" + options.devices[i].name + "'");
    assignDefaultPorts(options.devices);
    return options;
}

CtlOptions parseCtlOptions(const std::vector<std::string>& args) {
    CtlOptions options;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--control") options.controlPath = valueOf(args, i);
        else if (args[i] == "--bus") options.controlPath = defaultControlPath(valueOf(args, i));
        else break;
    }
    if (options.controlPath.empty()) throw ConfigError("ctl needs --control PATH or --bus DIR");
    for (; i < args.size(); ++i) options.command += (options.command.empty() ? "" : " ") + args[i];
    if (options.command.empty()) throw ConfigError("ctl needs a command");
    if (options.command.find('\n') != std::string::npos) throw ConfigError("a command is one line");
    return options;
}

}  // namespace sim
