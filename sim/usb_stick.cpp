#include "usb_stick.h"

#include "drive_folder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace sim {
namespace fs = std::filesystem;

namespace {

// A plain stick maker's ids, none of the controllers'.
constexpr std::uint16_t kStickVendorId = 0x0951;
constexpr std::uint16_t kStickProductId = 0x1666;

std::string driveName(char letter) { return std::string(1, letter) + ":"; }

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) throw std::runtime_error("cannot read the stick's file " + path);
    return bytes;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string() + " on the stick");
}

}  // namespace

UsbStick::UsbStick(const DeviceConfig& config, Recorder& recorder, const fs::path& busDir)
    : name_(config.name), behaviour_(config.behaviour), preferredLetter_(config.stick.letter), recorder_(recorder),
      drivesDir_(busDir / "drives"),
      parked_(drivesDir_ / ("." + config.name + "." + std::to_string(::getpid()) + ".stick")) {
    fs::create_directories(drivesDir_);
    fs::remove_all(parked_);
    fs::create_directory(parked_);
    try {
        if (config.stick.files.empty()) writeFile(parked_ / "firmware.bin", kStickFirmware);
        for (const std::string& file : config.stick.files)
            writeFile(parked_ / fs::path(file).filename(), contentsOf(file));
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(parked_, ignored);
        throw;
    }
}

UsbStick::~UsbStick() {
    takeOut();
    std::error_code ignored;
    fs::remove_all(parked_, ignored);
}

void UsbStick::plug(Clock::time_point now) {
    if (plugged()) return;
    const char letter = pickDriveLetter(drivesDir_, preferredLetter_, "the stick " + name_);
    // Files a host left on it while it was plugged in are where it keeps them.
    if (!fs::is_directory(parked_)) fs::create_directory(parked_);
    bringDriveIn(drivesDir_, parked_, letter, behaviour_.port.value_or(""), usbIdentityText(kStickVendorId, kStickProductId, "STICK-" + name_));
    letter_ = letter;
    recorder_.event(now, name_, DeviceEvent("plugged", {{"drive", driveName(letter)}}));
}

void UsbStick::unplug(Clock::time_point now) {
    if (!plugged()) return;
    const char letter = *letter_;
    takeOut();
    recorder_.event(now, name_, DeviceEvent("unplugged", {{"drive", driveName(letter)}}));
}

void UsbStick::takeOut() {
    if (!letter_) return;
    takeDriveOut(drivesDir_, *letter_, parked_);
    letter_.reset();
}

void UsbStick::setBehaviour(std::string_view key, std::string_view value, Clock::time_point /*now*/) {
    applyBehaviourSetting(behaviour_, DeviceKind::Stick, key, value);
}

BusDevice::StopAnswer UsbStick::stopDrive(char letter, Clock::time_point now) {
    if (letter_ != letter) return StopAnswer::NotMine;
    takeOut();
    recorder_.event(now, name_, DeviceEvent("disk-stopped", {{"drive", driveName(letter)}}));
    return StopAnswer::Stopped;
}

}  // namespace sim
