#include "simulator.h"

#include "board_bootloader.h"
#include "control_command.h"
#include "control_server.h"
#include "controller_firmware.h"
#include "served_device.h"
#include "usb_stick.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sim {
namespace {

// usbUdc: the next dummy_udc.N for a device served over USB (--usb); nothing on the bus.
std::unique_ptr<BusDevice> makeDevice(const DeviceConfig& config, EventLoop& loop, Recorder& recorder,
                                      const std::filesystem::path& busDir, Clock::time_point origin,
                                      std::optional<int>& usbUdc) {
    const std::optional<int> udc = usbUdc;
    if (usbUdc && config.kind != DeviceKind::Stick) ++*usbUdc;
    switch (config.kind) {
    case DeviceKind::Board:
        return std::make_unique<ServedDevice>(config, std::make_unique<BoardBootloader>(config.board, config.controller),
                                              loop, recorder, busDir, origin, udc);
    case DeviceKind::Controller:
        return std::make_unique<ServedDevice>(config, std::make_unique<ControllerFirmware>(config.controller), loop,
                                              recorder, busDir, origin, udc);
    case DeviceKind::Stick: return std::make_unique<UsbStick>(config, recorder, busDir);
    }
    return nullptr;
}

}  // namespace

Simulator::Simulator(const SimOptions& options)
    : origin_(Clock::now()), recorder_(options.recordPath, origin_), frames_(origin_) {
    const std::filesystem::path busDir(options.busDir);
    std::filesystem::create_directories(busDir / "hid");
    std::optional<int> usbUdc;
    if (options.usb) usbUdc = 0;
    for (const DeviceConfig& config : options.devices) {
        devices_.push_back(makeDevice(config, loop_, recorder_, busDir, origin_, usbUdc));
        if (config.startPlugged) startPlugged_.push_back(devices_.back().get());
    }
    control_ = std::make_unique<ControlServer>(loop_, options.controlPath,
                                               [this](std::string_view line) { return execute(line); });
    stopTool_ = std::make_unique<StopTool>(busDir, options.controlPath);
    // Windows hosts ask through drives/<L>.stop what Linux hosts ask through the tool.
    stopRequests_ = std::make_unique<StopRequests>(loop_, busDir / "drives", [this](char letter) { return stopDrive(letter); });

    // Inherited dispositions must not hide the stop signals from the signalfd; a reader that went
    // away must not kill the simulator.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signalFd_ = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
    loop_.add(signalFd_, EPOLLIN, [this](std::uint32_t) { stop_ = true; });
    loop_.add(frames_.fd(), EPOLLIN, [this](std::uint32_t) { serveFrame(); });
}

Simulator::~Simulator() {
    const auto now = Clock::now();
    for (auto& device : devices_) device->unplug(now);
    stopRequests_.reset();
    stopTool_.reset();
    control_.reset();
    loop_.remove(frames_.fd());
    loop_.remove(signalFd_);
    ::close(signalFd_);
}

void Simulator::run() {
    for (BusDevice* device : startPlugged_) device->plug(Clock::now());
    std::cout << "ready" << std::endl;
    while (!stop_) {
        loop_.runOnce(msUntilNextDeadline(Clock::now()));
        const auto now = Clock::now();
        bool framesWanted = false;
        for (auto& device : devices_) {
            device->onTime(now);
            framesWanted = framesWanted || device->wantsFrame();
        }
        frames_.keepRunning(framesWanted, now);
    }
}

void Simulator::serveFrame() {
    const auto now = Clock::now();
    if (const auto frame = frames_.frameToServe(now))
        for (auto& device : devices_) device->onFrame(*frame, now);
}

int Simulator::msUntilNextDeadline(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    for (const auto& device : devices_)
        if (const auto deadline = device->nextDeadline(); deadline && (!next || *deadline < *next)) next = deadline;
    if (!next) return -1;
    // Rounded up: waking before the deadline would only spin.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return ms > 0 ? static_cast<int>(ms) : 0;
}

BusDevice* Simulator::find(std::string_view name) {
    for (auto& device : devices_)
        if (device->name() == name) return device.get();
    return nullptr;
}

std::string Simulator::execute(std::string_view line) {
    try {
        const ControlCommand command = parseControlCommand(line);
        if (command.verb == ControlCommand::Verb::Quit) {
            stop_ = true;
            return "ok";
        }
        if (command.verb == ControlCommand::Verb::StopDrive) return stopDrive(command.drive);
        BusDevice* device = find(command.device);
        if (device == nullptr) return "error no device named '" + command.device + "'";
        const auto now = Clock::now();
        switch (command.verb) {
        case ControlCommand::Verb::Plug:
            if (device->plugged()) return "error " + command.device + " is plugged already";
            device->plug(now);
            break;
        case ControlCommand::Verb::Unplug:
            if (!device->plugged() && !device->away()) return "error " + command.device + " is not plugged";
            device->unplug(now);
            break;
        case ControlCommand::Verb::Set:
            device->setBehaviour(command.key, command.value, now);
            break;
        case ControlCommand::Verb::Dump:
            return dump(*device, command.path);
        case ControlCommand::Verb::StopDrive:
        case ControlCommand::Verb::Quit:
            break;
        }
        return "ok";
    } catch (const std::exception& e) {
        return std::string("error ") + e.what();
    }
}

std::string Simulator::stopDrive(char letter) {
    for (auto& device : devices_) {
        const BusDevice::StopAnswer answer = device->stopDrive(letter, Clock::now());
        if (answer == BusDevice::StopAnswer::Stopped) return "ok";
        if (answer == BusDevice::StopAnswer::Refused) return std::string("error ") + letter + ": its device refuses to stop it";
    }
    return std::string("error ") + letter + ": is not the update disk of a device of this simulator";
}

std::string Simulator::dump(const BusDevice& device, const std::string& path) {
    const std::optional<std::vector<std::uint8_t>> image = device.imageData();
    if (!image) return "error " + device.name() + " has no image flash";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image->data()), static_cast<std::streamsize>(image->size()));
    if (!out.flush()) return "error cannot write " + path;
    return "ok";
}

}  // namespace sim
